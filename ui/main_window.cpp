#include "main_window.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>

#include "date_time_text.h"
#include "help_window.h"
#include "monitor_window.h"
#include "notes_window.h"
#include "numbers.h"
#include "user_settings.h"
#include "velan_error.h"

TForm1::TForm1(RecordStore& store, DataTable& table, ConverterDriver& driver, UserPrompts& prompts)
    : store_(store),
      table_(table),
      prompts_(prompts),
      recorder_(store, table, driver, *this),
      journal_(store, table, *this),
      parts_(store, table, *this, recorder_, journal_, [this] { return recordingsFolder(); }),
      separator_(systemDecimalSeparator()),
      saveDirectory_(QDir::homePath()) {
  recorder_.addListener(this);
  recorder_.addListener(&journal_);
  recorder_.setNoteSeparator(separator_);
  journal_.setFailureHandler(
      [this](const QString& reason) {
        // Shown once the handler that failed has returned: a modal box inside a timer handler
        // would let the timers run into it again.
        QMetaObject::invokeMethod(
            this,
            [this, reason] {
              prompts_.showError(
                  QStringLiteral("Recovery file could not be written: %1. The recording goes on; "
                                 "its rows stay in memory until the file can be written again.")
                      .arg(reason));
            },
            Qt::QueuedConnection);
      },
      [this] { showRunStatus(); });
  parts_.setPartReport([this](const RunParts::Saved& saved) { partReported(saved); });
  connect(&drainingTimer_, &QTimer::timeout, this, &TForm1::drainingTick);
  buildControls();
  buildMenus();
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
  const char* headings[] = {"Time (s)", "Ch. 1", "Ch. 2", "Ch. 3", "Ch. 4", "Notes"};
  for (int column = 0; column < DataTable::kColumns; ++column) {
    table_.setCell(column, 0, QString::fromLatin1(headings[column]));
  }
  recorder_.setReadingInterval(1000);
  Stop->hide();
  Lbdatetime->setText(dateTimeText(QDateTime::currentDateTime()));
  Lbdatetime->setAccessibleName(Lbdatetime->text());
  table_.setTableRowCount(DataTable::kInitialRows);
  decimalComma_ = true;
  loadScalings();
  try {
    loadSettingsFile(*this, separator_);
    UserSettings::restoreScaledUnits(*this);
  } catch (const VelanError& error) {
    prompts_.showError(error.message());
    store_.dataSaved = false;  // the rest of the creation is skipped
    return;
  }
  raise();
  store_.dataSaved = true;
}

void TForm1::attachWindows(TForm2* monitor, TForm3* notes, TForm4* help) {
  monitor_ = monitor;
  notes_ = notes;
  help_ = help;
  for (int c = 1; c <= kChannels; ++c) {
    monitor_->showChannelUnit(c, unitLabel(c));
    connect(EdCH[c], &QLineEdit::textChanged, monitor_,
            [this, c](const QString& unit) { monitor_->showChannelUnit(c, unit); });
  }
}

void TForm1::StartClick() {
  if (!store_.dataSaved &&
      prompts_.confirm(QStringLiteral("UNSAVED DATA - Start new record anyway?"),
                       UserPrompts::Buttons::YesCancel) != UserPrompts::Answer::Yes) {
    return;
  }
  try {
    store_.portNumber = parseInteger(EdComNr->text());
  } catch (const VelanError& error) {
    prompts_.showError(error.message());
    return;
  }
  if (const std::optional<QString> problem = scaledUnitProblem(*this, separator_)) {
    prompts_.showError(*problem);  // converted values are never recorded as millivolts
    return;
  }
  EdComNr->setEnabled(false);
  Start->hide();
  Stop->show();
  setOpeningEnabled(false);  // reading a file under a running row timer would mix two records
  if (!store_.converterOpen) {
    setStatus(QStringLiteral("Opening ADC16 on COM %1").arg(store_.portNumber));
    repaint();  // visible while the driver call blocks
    if (recorder_.openConverter()) {
      for (int c = 1; c <= kChannels; ++c) {
        if (channelSelected(c)) continue;
        CBCh[c]->hide();
        EdCH[c]->hide();
      }
      setStatus(QStringLiteral("Recording"));
    } else {
      setStatus(QStringLiteral("No ADC16: Simulation"), recorder_.driver().openFailure());
    }
  }
  recorder_.resetRecord();
  currentFile_.clear();  // its dialogs propose the run's own name, not the file shown before
  partsSaved_.clear();
  lastReadingAt_ = QTime::currentTime();
  channelSilence_.reset();
  recorder_.startTimers();
  parts_.setFileFormat(decimalComma_, separator_);
  parts_.begin();
  startPublishing();
  setFileLabel(QStringLiteral("(Data not saved)"));
  BnAddRemark->setEnabled(true);
  if (notes_) {
    notes_->showRestored();
    notes_->clearNotes();
  }
  if (monitor_) monitor_->startRun();
  BnPlot->show();
  // The other windows came up without the keyboard: a note can be typed here at once.
  activateWindow();
  edRem->setFocus();
}

void TForm1::StopClick() {
  for (int c = 1; c <= kChannels; ++c) {
    CBCh[c]->show();
    EdCH[c]->show();
  }
  EdComNr->setEnabled(true);
  setOpeningEnabled(true);
  recorder_.stopRowTimer();
  if (recorder_.closeConverter()) setStatus(QStringLiteral("Stopped"), lineCountsText());
  parts_.endPending();  // the run's earlier parts: saved now, or left for the next start
  stopPublishing();
  Stop->hide();
  Start->show();
  BnAddRemark->setEnabled(false);
  Saveas1->setEnabled(true);
  BnPlot->setVisible(store_.rowCount > 0);
  store_.dataSaved = false;
  if (monitor_) monitor_->monitor().view().displayMode = kIdle;
  emit runStopped();
  Start->setFocus();
}

void TForm1::BnAddRemarkClick() {
  if (monitor_ && monitor_->isEnabled()) monitor_->setRemarkText(edRem->text());
  recorder_.addNote(edRem->text());  // the notes window hears of it (noteAdded)
}

void TForm1::noteAdded(int /*row*/, const QString& note, const QString& /*cell*/) {
  if (notes_) notes_->appendNote(note);
}

void TForm1::addNoteFromMonitor(const QString& text) {
  edRem->setText(text);
  BnAddRemarkClick();
}

void TForm1::recordReset() {
  tableFit_->reset();
  Save1->setEnabled(false);
  Saveas1->setEnabled(false);
  SGData->viewport()->update();
}

void TForm1::fitToFont() {
  // The group's width at the default font, or its title's where a larger font needs more.
  portGroup_->setMinimumWidth(std::max(170, portGroup_->minimumSizeHint().width()));
  // The whole note prompt, so the user sees what the field is for.
  edRem->setMinimumWidth(std::max(
      182, edRem->fontMetrics().horizontalAdvance(QStringLiteral("(Click [^] to add note)")) + 8));
  tableFit_->apply();
}

void TForm1::changeEvent(QEvent* event) {
  // The desktop's font changed while Velan runs: the table follows it as the layouts do.
  if (event->type() == QEvent::FontChange && tableFit_) fitToFont();
  QMainWindow::changeEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  // A running record is never saved, so closing during a run always asks.
  const bool ask = !store_.dataSaved || recording();
  if (ask && prompts_.confirm(QStringLiteral("UNSAVED DATA - Exit anyway?"),
                              UserPrompts::Buttons::YesCancel) != UserPrompts::Answer::Yes) {
    event->ignore();
    return;
  }
  if (recorder_.closeConverter()) setStatus(QStringLiteral("Stopped"), lineCountsText());
  journal_.discard();  // saved, or given up by the question
  event->accept();
  emit closed();
}

void TForm1::BnPlotClick() {
  if (monitor_) monitor_->BnPlotClick();
}
