#pragma once

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTime>
#include <QTimer>
#include <array>
#include <memory>

#include "about_panel.h"
#include "channel_silence.h"
#include "converter_driver.h"
#include "data_table.h"
#include "desktop_notifier.h"
#include "elided_label.h"
#include "record_journal.h"
#include "record_store.h"
#include "recorder.h"
#include "row_publisher.h"
#include "run_parts.h"
#include "settings_file.h"
#include "table_fit.h"
#include "user_prompts.h"

class TForm2;
class TForm3;
class TForm4;

/// The main window: port and channels, the data table, Start/Stop, notes, menus, about panel.
/// It holds the record's descriptive texts and the channel selection in its controls.
class TForm1 : public QMainWindow,
               public RecordFields,
               public SettingsTarget,
               public RecordListener {
  Q_OBJECT
 public:
  TForm1(RecordStore& store, DataTable& table, ConverterDriver& driver, UserPrompts& prompts);
  ~TForm1() override;

  /// Connects the other windows, created after this one.
  void attachWindows(TForm2* monitor, TForm3* notes, TForm4* help);
  /// The statistics window, shown by View > "Statistics" and Ctrl+4.
  void attachStatistics(QWidget* statistics) { statistics_ = statistics; }

  // Recording control
  void StartClick();
  void StopClick();
  void BnAddRemarkClick();
  /// The monitor's note: copied into edRem, then added as a note.
  void addNoteFromMonitor(const QString& text);

  // Menus
  void Open1Click();
  void Save1Click();
  void Saveas1Click();
  void Help1Click();
  void saveSettingsClick();
  void Manual1Click();
  void AboutVelan1Click();
  void Quit1Click() { close(); }
  void BnPlotClick();

  /// The files last opened or saved, newest first (at most five), kept per user.
  QStringList recentFiles() const;
  /// Opens a file named on the command line (the system's file-name bytes), as "Open" would. A
  /// name that no text can hold (not valid UTF-8) is opened all the same; the record can then be
  /// saved under another name only.
  void openFileAtStartUp(const QByteArray& nativePath);
  /// Opens a recent file as "Open" would open that name.
  void openRecentFile(const QString& path);

  /// Shows `window` at its normal size in front, with the keyboard.
  static void bringForward(QWidget* window);
  /// Offers the records of journals left by crashed runs back, newest first (start-up).
  void recoverUnsavedRecordings(const QString& settingsProblem = {});
  /// File > "Export as CSV...": the record as CSV for spreadsheets and scripts.
  void exportCsvClick();
  /// Options > "Serial ports...": assigns a device to the number in the port field.
  void serialPortsClick();
  /// Options > "Channel scaling...": each channel's factor and offset, a two-point calibration.
  void channelScalingClick();
  /// Options > "Limits...": each channel's low and high limit and dead band.
  void limitsClick();
  /// Options > "Publishing...": the MQTT broker the rows go to.
  void publishingClick();
  /// Options > "Recordings folder...": where the parts of long runs go.
  void recordingsFolderClick();
  /// The name the save dialogs offer, with `suffix`: the record's file's, else
  /// "<experiment> <start>".
  QString proposedFileName(const char* suffix) const;
  /// Whether `name` may be written: it does not exist, or the user says to overwrite it.
  bool mayWrite(const QString& name);
  /// The folder the parts of long runs go to: the one chosen, else the default.
  QString recordingsFolder() const;

  /// The save and open procedures (name already chosen).
  void saveProcedure(const QString& name, const QString& shownName);
  /// Each returns whether the file was opened.
  bool openProcedure(const QString& name);
  /// Opens the file at `nativePath`, shown as `name`; `nameable` false: `name` does not name the
  /// file (its bytes are no valid text), so it is neither saved to nor remembered.
  bool openProcedure(const QString& name, const QByteArray& nativePath, bool nameable);

  Recorder& recorder() { return recorder_; }
  RecordStore& store() { return store_; }
  DataTable& table() { return table_; }
  bool decimalComma() const { return decimalComma_; }
  QString statusText() const;

  // RecordFields
  bool channelSelected(int channel) const override;
  void setChannelSelected(int channel, bool selected) override;
  QString unitLabel(int channel) const override;
  void setUnitLabel(int channel, const QString& label) override;
  ChannelScaling scaling(int channel) const override;
  /// Also keeps it per user, as the working set-up.
  void setScaling(int channel, const ChannelScaling& scaling) override;
  QString experiment() const override;
  void setExperiment(const QString& text) override;
  QString startTime() const override;
  /// The file label: the record's file name, or "(no File)", "(Data not saved)".
  QString fileLabel() const;
  /// The running record's crash journal; empty when there is none.
  QString journalPath() const { return journal_.path(); }
  void setStartTime(const QString& text) override;

  // SettingsTarget
  void setPortText(const QString& text) override;
  QString portText() const override;
  void setPortNumber(int port) override { store_.portNumber = port; }
  RecordFields& recordFields() override { return *this; }
  void setReadingInterval(int milliseconds) override;
  void setInitialDirectory(const QString& folder) override;

  // RecordListener
  void recordReset() override;
  void recordFull() override;
  void rowStored() override;
  void noteAdded(int row, const QString& note, const QString& cell) override;
  void limitCrossed(int channel, const QString& text) override;

 signals:
  void closed();
  /// Stop ended the run: what only a run allows is disabled.
  void runStopped();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void FormCreate();
  void buildControls();
  QHBoxLayout* buildTopLine(QWidget* central);  ///< start time, file, experiment
  QGroupBox* buildPortAndChannels(QWidget* central);
  QGroupBox* buildDataTable(QWidget* central);
  QHBoxLayout* buildCommandLine(QWidget* central);  ///< status, buttons, note field
  /// The journal's view of typed cells and fields, the keys and the buttons' handlers.
  void connectControls();
  void setTabOrders();
  void buildMenus();
  /// The status line; `detail` (why a converter did not open) is its tool tip.
  void setStatus(const QString& text, const QString& detail = QString());
  /// The driver's unanswered requests and rejected answers, in words; empty when none.
  QString lineCountsText() const;
  /// "Recording", or since when no reading came and why (told once a row).
  void showRunStatus();
  /// A part saved, saved late, or given up: the status line's detail and the notes window.
  void partReported(const RunParts::Saved& saved);
  /// The status line's tool tip during a run: why it is simulated, the answers rejected, where
  /// the last part went.
  QString runDetail() const;
  /// The port field's tool tip: which device its number means.
  void describePort();
  /// A key that works in every Velan window.
  void addKey(const QKeySequence& key, const std::function<void()>& action);
  static void clickIfShown(QPushButton* button);
  /// Whether `name` may be written: it does not exist, or the user lets it be overwritten.
  void setFileLabel(const QString& text);
  /// Puts `path` first in the recent files.
  void rememberFile(const QString& path);
  void forgetFile(const QString& path);
  void storeRecentFiles(const QStringList& paths);
  /// Rebuilds the "Recent files" menu from the stored list.
  void fillRecentMenu();
  /// Open and the recent files: not while a recording runs.
  void setOpeningEnabled(bool enabled);
  /// The unsaved-data question before a file replaces the record; true to go on.
  bool mayReplaceRecord();
  /// Sizes the controls whose layout sizes are fixed for the current font.
  void fitToFont();
  /// Sizes the table's columns for a record read whole (opened or restored).
  void fitTableToRecord();
  /// Takes a journal's record into the window as an unsaved record.
  void restoreRecord(JournalRecord&& record);
  bool recording() const;
  /// The scalings kept per user, with their units, and the limits.
  void loadScalings();
  /// Keeps the unit typed beside a scaled channel with its scaling.
  void keepUnitWithScaling(int channel);
  /// Saves the record so far as a part and goes on in the next; tells where it went.
  void nextPart();

 public:
  /// The system ends the program (`how`: a signal, the end of the desktop session): a running
  /// record is saved as a part into the recordings folder, its last row noted "(ended by the
  /// system)", its journal removed once saved; the next start says where it went.
  void endBySystem(const QString& how);

 private:
  void startPublishing();
  /// Sends what waits while the broker answers (at most 10 s), then says the run stopped:
  /// beside the window's work, or, where the program ends, at once (`waitForIt`).
  void stopPublishing(bool waitForIt = false);
  void drainingTick();
  void drainingEnded();

 private:
  RecordStore& store_;
  DataTable& table_;
  UserPrompts& prompts_;
  Recorder recorder_;
  RecordJournal journal_;
  RunParts parts_;
  QChar separator_;
  bool decimalComma_ = true;
  QString currentFile_;
  QString partsSaved_;             ///< where the last full part went, for the status line
  QTime lastReadingAt_;            ///< the clock time of the newest row with a reading
  ChannelSilence channelSilence_;  ///< channels without values while others have theirs
  std::array<ChannelScaling, kChannels + 1> scalings_{};
  /// Each channel's last limit crossing with its clock time, for the status line's tool tip.
  std::array<QString, kChannels + 1> limitCrossings_;
  DesktopNotifier notifier_;
  QString lastSaveName_;  ///< the name last confirmed in the save dialog
  QString saveDirectory_;
  QString openDirectory_;
  QString csvDirectory_;  ///< where the last CSV went; empty: the data files' folder

  std::unique_ptr<TableFit> tableFit_;
  std::unique_ptr<RowPublisher> publisher_;  ///< the run's, while one publishes
  /// A stopped run's, while it sends what waits; a new run gives it up (what it did not send
  /// waits on disk and goes first).
  std::unique_ptr<RowPublisher> drainingPublisher_;
  QTimer drainingTimer_;
  QString stoppedStatus_;  ///< the status line at the stop, shown with the rows being sent
  QString stoppedDetail_;
  QString publishingProblem_;  ///< why the run does not publish, or what it heard

  TForm2* monitor_ = nullptr;
  TForm3* notes_ = nullptr;
  TForm4* help_ = nullptr;
  QWidget* statistics_ = nullptr;

  // Controls, named as the program's users and tests know them.
  QLabel* Lbdatetime = nullptr;
  QLabel* LbFile = nullptr;
  QGroupBox* portGroup_ = nullptr;
  QLineEdit* EdExperiment = nullptr;
  QLineEdit* EdComNr = nullptr;
  std::array<QCheckBox*, kChannels + 1> CBCh{};
  std::array<QLineEdit*, kChannels + 1> EdCH{};
  QTableView* SGData = nullptr;
  ElidedLabel* status_ = nullptr;
  QString statusDetail_;  ///< what the status line's tool tip adds to its text
  QPushButton* BnPlot = nullptr;
  QPushButton* Stop = nullptr;
  QPushButton* Start = nullptr;
  QLineEdit* edRem = nullptr;
  QPushButton* BnAddRemark = nullptr;
  AboutPanel* GBInfo = nullptr;
  QAction* Open1 = nullptr;
  QAction* Save1 = nullptr;
  QAction* Saveas1 = nullptr;
  QAction* exportCsv_ = nullptr;
  QAction* Help1 = nullptr;
  QMenu* recentMenu_ = nullptr;
};
