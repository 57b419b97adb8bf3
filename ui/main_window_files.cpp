// The main window's file commands: Save, Save as, Open, recent files, the comma/point option,
// Velan.ini, the records offered back from crash journals, and the parts of long runs.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>

#include "csv_export.h"
#include "data_file.h"
#include "date_time_text.h"
#include "journal_recovery.h"
#include "main_window.h"
#include "monitor_window.h"
#include "notes_window.h"
#include "numbers.h"
#include "record_parts.h"
#include "user_settings.h"
#include "velan_error.h"

void TForm1::Saveas1Click() {
  if (store_.rowCount == 0) return;
  UserPrompts::FileDialog dialog{QStringLiteral("Save Data (Velan File)"),
                                 QStringLiteral("Velan Files (*.vln);;All Files (*)"),
                                 QStringLiteral("vln"), saveDirectory_, proposedFileName("vln")};
  const QString name = prompts_.saveFileName(dialog);
  if (name.isEmpty()) return;
  lastSaveName_ = name;
  saveProcedure(name, name);
}

QString TForm1::proposedFileName(const char* suffix) const {
  // The record's own name where it has one, else "<experiment> <start>" as the parts are named.
  QString base = currentFile_.isEmpty() ? QString() : QFileInfo(currentFile_).completeBaseName();
  if (base.isEmpty()) {
    const QDateTime start = parseDateTimeText(startTime()).value_or(QDateTime::currentDateTime());
    base = QFileInfo(recordFileName(QString(), experiment(), start, QString())).completeBaseName();
  }
  return base + QLatin1Char('.') + QLatin1String(suffix);
}

bool TForm1::mayWrite(const QString& name) {
  return !fileExists(name) ||
         prompts_.confirm(QStringLiteral("Overwite existing file?"),
                          UserPrompts::Buttons::YesNoCancel) == UserPrompts::Answer::Yes;
}

void TForm1::exportCsvClick() {
  if (store_.rowCount == 0) return;
  UserPrompts::FileDialog dialog{
      QStringLiteral("Export as CSV"), QStringLiteral("CSV files (*.csv)"), QStringLiteral("csv"),
      csvDirectory_.isEmpty() ? saveDirectory_ : csvDirectory_, proposedFileName("csv")};
  QString name = prompts_.saveFileName(dialog);
  if (name.isEmpty()) return;
  if (!name.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) name += QStringLiteral(".csv");
  if (!mayWrite(name)) return;
  csvDirectory_ = folderPart(name);
  try {
    if (!exportCsv(name, store_, table_, *this)) {
      prompts_.showInformation(
          QStringLiteral("The column \"Date and time\" is empty: the start time \"%1\" is in no "
                         "date format Velan reads.")
              .arg(startTime()));
    }
  } catch (const VelanError& error) {
    prompts_.showError(error.message());
  }
}

void TForm1::Save1Click() {
  if (!Save1->isEnabled() || currentFile_.isEmpty()) return;
  saveProcedure(currentFile_, currentFile_);
}

void TForm1::saveProcedure(const QString& name, const QString& shownName) {
  const QString full = applyExtensionRule(name);
  if (!mayWrite(full)) return;
  try {
    saveDataFile(full, store_, table_, *this, decimalComma_, separator_);
  } catch (const VelanError& error) {
    prompts_.showError(error.message());
    return;
  }
  journal_.discard();
  rememberFile(full);
  currentFile_ = full;
  saveDirectory_ = openDirectory_ = folderPart(full);  // data files go on where this one went
  setFileLabel(bareFileName(shownName));
  Save1->setEnabled(true);
  store_.dataSaved = true;
}

bool TForm1::mayReplaceRecord() {
  if (recording()) return false;  // reading into the store under a running row timer mixes records
  return store_.dataSaved ||
         prompts_.confirm(QStringLiteral("UNSAVED DATA - Open file anyway?"),
                          UserPrompts::Buttons::YesCancel) == UserPrompts::Answer::Yes;
}

void TForm1::Open1Click() {
  if (!mayReplaceRecord()) return;
  UserPrompts::FileDialog dialog{QStringLiteral("Open Velan File"),
                                 QStringLiteral("Velan File (*.vln);;All Files (*)"), QString(),
                                 openDirectory_, QString()};
  const QString name = prompts_.openFileName(dialog);
  if (!name.isEmpty()) openProcedure(name);
}

bool TForm1::openProcedure(const QString& name) {
  return openProcedure(name, QFile::encodeName(name), true);
}

bool TForm1::openProcedure(const QString& name, const QByteArray& nativePath, bool nameable) {
  std::optional<StagedRecord> staged;
  try {
    staged = loadDataFile(nativePath, decimalComma_, separator_);
  } catch (const VelanError& error) {
    prompts_.showError(error.message());
    return false;
  }
  if (!staged) return false;
  const int notFinite = staged->notFiniteValues;
  applyStagedRecord(std::move(*staged), store_, table_, *this);
  fitTableToRecord();
  recorder_.tellRecordReplaced();
  journal_.discard();  // the file replaced the record
  if (nameable) rememberFile(name);
  currentFile_ = nameable ? name : QString();
  if (nameable) saveDirectory_ = openDirectory_ = folderPart(name);
  setFileLabel(bareFileName(name));
  Saveas1->setEnabled(true);
  Save1->setEnabled(nameable);
  BnPlot->setVisible(store_.rowCount > 0);
  if (notFinite > 0) {
    prompts_.showInformation(
        QStringLiteral("%1: %2 values were not finite (INF) and are shown as missing.")
            .arg(bareFileName(name))
            .arg(notFinite));
  }
  return true;
}

namespace {
constexpr int kRecentFiles = 5;
}  // namespace

QStringList TForm1::recentFiles() const { return UserSettings::recentFiles(); }

void TForm1::storeRecentFiles(const QStringList& paths) {
  UserSettings::setRecentFiles(paths);
  fillRecentMenu();
}

void TForm1::rememberFile(const QString& path) {
  const QString full = QFileInfo(path).absoluteFilePath();
  QStringList paths = recentFiles();
  paths.removeAll(full);
  paths.prepend(full);
  storeRecentFiles(paths.mid(0, kRecentFiles));
}

void TForm1::forgetFile(const QString& path) {
  QStringList paths = recentFiles();
  paths.removeAll(path);
  storeRecentFiles(paths);
}

void TForm1::fillRecentMenu() {
  recentMenu_->clear();
  for (const QString& path : recentFiles()) {
    QAction* item =
        recentMenu_->addAction(bareFileName(path), this, [this, path] { openRecentFile(path); });
    item->setToolTip(QDir::toNativeSeparators(path));
  }
  recentMenu_->setEnabled(!recentMenu_->isEmpty() && Open1->isEnabled());
}

void TForm1::setOpeningEnabled(bool enabled) {
  Open1->setEnabled(enabled);
  recentMenu_->setEnabled(enabled && !recentMenu_->isEmpty());
}

void TForm1::openFileAtStartUp(const QByteArray& nativePath) {
  if (!mayReplaceRecord()) return;
  const QString path = QFile::decodeName(nativePath);
  const bool opened = QFile::encodeName(path) == nativePath
                          ? openProcedure(QFileInfo(path).absoluteFilePath())
                          : openProcedure(path, nativePath, false);
  // Opened from the desktop, a record is there to be looked at: plotted at once.
  if (opened && store_.rowCount > 0) BnPlotClick();
}

void TForm1::openRecentFile(const QString& path) {
  if (!mayReplaceRecord()) return;
  if (!QFileInfo::exists(path)) {
    prompts_.showError(QStringLiteral("Datei nicht gefunden"));
    forgetFile(path);
    return;
  }
  openProcedure(path);
}

void TForm1::endBySystem(const QString& how) {
  if (!recording()) return;  // a stopped record unsaved keeps its journal for the next start
  recorder_.stopRowTimer();
  recorder_.timers().setPollEnabled(false);
  recorder_.closeConverter();
  parts_.setFileFormat(decimalComma_, separator_);
  const RunParts::Saved saved = parts_.finish(QStringLiteral("(ended by the system)"));
  stopPublishing(true);
  UserSettings::setEndedRunMessage(
      saved.ok() ? QStringLiteral("The last recording was ended by %1 and saved as %2.")
                       .arg(how, saved.path)
      : saved.rowsOnlyInMemory() == 0
          ? QStringLiteral("The last recording was ended by %1; it could not be saved "
                           "(%2) and is offered back now.")
                .arg(how, saved.failure)
          : QStringLiteral("The last recording was ended by %1; it could not be saved (%2). %3")
                .arg(how, saved.failure, partOutcomeText(saved)));
  store_.dataSaved = true;  // saved, or in its journal for the next start
}

void TForm1::recoverUnsavedRecordings(const QString& settingsProblem) {
  // Port assignments, scalings and limits would otherwise be the defaults without a word.
  if (!settingsProblem.isEmpty()) prompts_.showError(settingsProblem);
  const QString ended = UserSettings::takeEndedRunMessage();
  if (!ended.isEmpty()) prompts_.showInformation(ended);
  const RecoveryDialogue dialogue{
      [this](const QString& question) {
        return prompts_.confirm(question, UserPrompts::Buttons::YesNo) == UserPrompts::Answer::Yes;
      },
      [this](const QString& message) { prompts_.showError(message); }, QString(),
      [this](const QString& message) { prompts_.showInformation(message); }};
  std::optional<RecoveredRecording> recovered = offerUnsavedRecording(dialogue);
  if (!recovered) return;
  restoreRecord(std::move(recovered->record));
  journal_.restoreFrom(std::move(recovered->journal));
}

void TForm1::fitTableToRecord() {
  tableFit_->reset();
  tableFit_->takeRows(1, store_.rowCount);
}

void TForm1::restoreRecord(JournalRecord&& record) {
  applyStagedRecord(std::move(record.staged), store_, table_, *this);
  fitTableToRecord();
  recorder_.tellRecordReplaced();
  if (record.headingNote) table_.setCell(DataTable::kNotesColumn, 0, *record.headingNote);
  currentFile_.clear();
  setFileLabel(QStringLiteral("(Data not saved)"));
  Save1->setEnabled(false);
  Saveas1->setEnabled(true);
  BnPlot->setVisible(store_.rowCount > 0);
  store_.dataSaved = false;
}

void TForm1::Help1Click() {
  decimalComma_ = !decimalComma_;
  Help1->setText(decimalComma_ ? QStringLiteral("Save with &comma/point: = c")
                               : QStringLiteral("Save with &comma/point: = p"));
}

void TForm1::saveSettingsClick() {
  SettingsValues values;
  values.portText = EdComNr->text();
  values.experiment = experiment();
  for (int c = 1; c <= kChannels; ++c) {
    values.selected[c] = channelSelected(c);
    values.unitLabels[c] = unitLabel(c);
  }
  if (monitor_) {
    values.intervalCaption = monitor_->monitor().captions().text(MonitorCaptions::Interval);
  }
  values.lastSaveName = lastSaveName_;
  values.scalings = scalings_;
  values.separator = separator_;
  try {
    saveSettingsFile(values);
  } catch (const VelanError& error) {
    prompts_.showError(error.message());
  }
}

QString TForm1::recordingsFolder() const {
  const QString chosen = UserSettings::recordingsFolder();
  return chosen.isEmpty() ? defaultRecordingsFolder(saveDirectory_) : chosen;
}

void TForm1::recordingsFolderClick() {
  const QString folder =
      prompts_.folderName(QStringLiteral("Recordings folder"), recordingsFolder());
  if (!folder.isEmpty()) UserSettings::setRecordingsFolder(folder);
}

void TForm1::recordFull() {
  // A run never ends by itself: the full record is saved as a part, and the run goes on in a
  // new record on the same schedule.
  nextPart();
}

void TForm1::nextPart() {
  parts_.setFileFormat(decimalComma_, separator_);
  partReported(parts_.next());
  if (publisher_) publisher_->updateStatus();  // the part's number
  setFileLabel(QStringLiteral("(Data not saved)"));
  if (notes_) {
    notes_->clearNotes();
    notes_->appendNote(partsSaved_);
  }
  if (monitor_) monitor_->monitor().restartTimeWindow();
}

void TForm1::partReported(const RunParts::Saved& saved) {
  partsSaved_ = partOutcomeText(saved);
  if (saved.late && notes_) notes_->appendNote(partsSaved_);
  showRunStatus();
}
