#include "record_command.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "converter_choice.h"
#include "data_table.h"
#include "journal_recovery.h"
#include "numbers.h"
#include "plain_record_fields.h"
#include "record_journal.h"
#include "record_parts.h"
#include "recorder.h"
#include "row_publisher.h"
#include "run_parts.h"
#include "run_report.h"
#include "service_notify.h"
#include "settings_file.h"
#include "stop_signals.h"
#include "user_settings.h"
#include "velan_error.h"

namespace {

void say(const QString& line) {
  std::fprintf(stderr, "velan record: %s\n", qPrintable(line));
  std::fflush(stderr);
}

// The set-up a Velan.ini gives, in the same fields the window fills.
class SetUp : public SettingsTarget {
 public:
  PlainRecordFields fields;
  QString portLine = QStringLiteral("3");
  int port = 3;
  int intervalMs = 1000;
  QString initialDirectory;

  void setPortText(const QString& text) override { portLine = text; }
  QString portText() const override { return portLine; }
  void setPortNumber(int number) override { port = number; }
  RecordFields& recordFields() override { return fields; }
  void setReadingInterval(int milliseconds) override { intervalMs = milliseconds; }
  void setInitialDirectory(const QString& folder) override { initialDirectory = folder; }
};

// Velan.ini (given, or in the current folder as the window reads it), the scalings and units
// kept per user, then the options. Throws VelanError for a set-up that cannot be recorded.
void takeSetUp(SetUp& setUp, const RecordOptions& options, QChar separator) {
  if (const QString problem = UserSettings::readProblem(); !problem.isEmpty()) {
    throw VelanError(problem);
  }
  for (int c = 1; c <= kChannels; ++c) setUp.fields.setScaling(c, UserSettings::channelScaling(c));
  const QString iniPath =
      QFileInfo(options.settings.value_or(kSettingsFileName)).absoluteFilePath();
  try {
    if (options.settings) {
      QFile file(*options.settings);
      if (!file.open(QIODevice::ReadOnly)) {
        throw VelanError(
            QStringLiteral("%1 cannot be read: %2").arg(*options.settings, file.errorString()));
      }
      readSettings(file, setUp, separator);
    } else {
      loadSettingsFile(setUp, separator);
    }
  } catch (const SettingsLineError& error) {
    // The window's message alone names neither the file nor the line.
    throw VelanError(QStringLiteral("%1, %2: %3")
                         .arg(iniPath,
                              error.line() < 9 ? QStringLiteral("line %1").arg(error.line())
                                               : QStringLiteral("its scaling lines"),
                              error.message()));
  }
  PlainRecordFields& fields = setUp.fields;
  UserSettings::restoreScaledUnits(fields);
  if (options.port) setUp.port = *options.port;
  if (options.channels) {
    for (int c = 1; c <= kChannels; ++c) fields.setChannelSelected(c, (*options.channels)[c]);
  }
  if (options.intervalMs) setUp.intervalMs = *options.intervalMs;
  if (options.experiment) fields.setExperiment(*options.experiment);
  if (const std::optional<QString> problem = scaledUnitProblem(fields, separator)) {
    throw VelanError(*problem);
  }
}

// The journals of this set-up's runs: another port's or folder's, or the window's, belong to
// another program, which takes them back itself.
QString recorderJournalOwner(int port, const QString& folder) {
  return QStringLiteral("velan record, COM %1, parts into %2").arg(port).arg(folder);
}

// Why `folder` cannot take the parts; empty when it can.
QString folderProblem(const QString& folder) {
  if (!QDir().mkpath(folder)) return QStringLiteral("the folder %1 cannot be made").arg(folder);
  QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".velan-XXXXXX")));
  if (!probe.open()) {
    return QStringLiteral("the folder %1 cannot be written: %2").arg(folder, probe.errorString());
  }
  return {};
}

// One run from the converter to its last part, reported line by line.
class UnattendedRun : public RecordListener {
 public:
  UnattendedRun(ConverterDriver& driver, SetUp& setUp, const RecordOptions& options,
                const QString& folder, QChar separator,
                const std::optional<MqttSender::Connection>& broker, bool homeAssistant)
      : driver_(driver),
        setUp_(setUp),
        options_(options),
        recorder_(*store_, table_, driver, setUp.fields),
        journal_(*store_, table_, setUp.fields),
        parts_(*store_, table_, setUp.fields, recorder_, journal_, [folder] { return folder; }),
        report_(setUp.port, say) {
    table_.keepNotesOnly();  // no window shows it: flat memory through a part
    journal_.setOwner(recorderJournalOwner(setUp.port, folder));
    parts_.setSource(
        QStringLiteral("COM %1 (%2)").arg(setUp.port).arg(UserSettings::serialDevice(setUp.port)));
    recorder_.addListener(this);
    recorder_.addListener(&journal_);
    recorder_.setNoteSeparator(separator);
    parts_.setFileFormat(true, separator);  // the window's default: files open in either
    journal_.setFailureHandler(
        [this](const QString& reason) {
          say(QStringLiteral("the recovery file could not be written (%1): recording goes on, "
                             "its rows in memory until the file can be written anew")
                  .arg(reason));
          notifyServiceManager("STATUS=" + statusText().toUtf8());
        },
        [this] {
          say(QStringLiteral("the recovery file is written again: part %1's %2 rows are on the "
                             "disk")
                  .arg(parts_.part())
                  .arg(store_->rowCount));
          notifyServiceManager("STATUS=" + statusText().toUtf8());
        });
    parts_.setPartReport([this](const RunParts::Saved& saved) {
      report_.partSaved(saved);
      notifyServiceManager("STATUS=" + statusText().toUtf8());
    });
    if (broker) {
      // After the journal: a row is on disk before it is published.
      publisher_ = std::make_unique<RowPublisher>(
          *broker, *store_, setUp.fields,
          RowPublisher::Run{
              [this] { return parts_.partStartTime(); }, [this] { return parts_.part(); },
              [this] { return store_->readingInterval; }, [this] { return parts_.startNote(); }},
          say, homeAssistant);
      recorder_.addListener(publisher_.get());
    }
  }

  /// Opens the converter; the exit status when the run cannot begin.
  std::optional<int> open() {
    store_->portNumber = setUp_.port;
    if (recorder_.openConverter()) return std::nullopt;
    return report_.converterMissing(driver_.openFailure(), options_.simulate);
  }

  void closeConverter() { recorder_.closeConverter(); }

  void begin() {
    for (int c = 1; c <= kChannels; ++c) recorder_.setLimits(c, UserSettings::channelLimits(c));
    recorder_.setReadingInterval(setUp_.intervalMs);
    recorder_.resetRecord();
    recorder_.startTimers();
    parts_.begin();
    if (publisher_) publisher_->beginRun();
    report_.begin(QDateTime::currentDateTime());
    // Ready once the converter answered and the run began: row 1 may be 500 s away.
    notifyServiceManager("READY=1\nSTATUS=" + statusText().toUtf8());
  }

  /// Saves the rows so far as the last part and ends the program with its status.
  void stop(const QString& why, const QString& lastRowNote = {}) {
    StopSignals::setStopping();  // a further signal ends the program at once
    recorder_.stopRowTimer();
    recorder_.timers().setPollEnabled(false);
    recorder_.closeConverter();
    report_.stopping(why);
    notifyServiceManager(QStringLiteral("STOPPING=1\nSTATUS=Stopping (%1): saving part %2")
                             .arg(why)
                             .arg(parts_.part())
                             .toUtf8());
    report_.partSaved(parts_.finish(lastRowNote));
    if (publisher_) {
      notifyServiceManager(QStringLiteral("STATUS=Stopping (%1): publishing %2 rows waiting")
                               .arg(why)
                               .arg(publisher_->rowsWaiting())
                               .toUtf8());
      report_.unpublished(publisher_->finish());
    }
    notifyServiceManager("STATUS=" + report_.endStatus(why).toUtf8());
    QCoreApplication::exit(report_.finish());
  }

  // RecordListener
  void rowStored() override {
    report_.rowStored(*store_, setUp_.fields, QDateTime::currentDateTime(),
                      troubleText(driver_.trouble()),
                      [this](int channel) { return troubleText(driver_.channelTrouble(channel)); });
    notifyServiceManager("STATUS=" + statusText().toUtf8());
    // The duration by the rows, not a timer: D seconds at an interval I are D / I rows (over
    // all parts), however long the converter took to open.
    QString done;
    if (options_.rows && report_.rows() == *options_.rows) {
      done = QStringLiteral("%1 rows recorded").arg(*options_.rows);
    } else if (options_.durationSeconds &&
               report_.rows() * (setUp_.intervalMs / 1000.0) >= *options_.durationSeconds - 1e-9) {
      done = QStringLiteral("%1 s recorded").arg(*options_.durationSeconds);
    }
    // Not inside the recorder's own row: the stop saves and ends the run.
    if (!done.isEmpty()) QTimer::singleShot(0, [this, done] { stop(done); });
  }
  void noteAdded(int row, const QString& note, const QString&) override {
    say(QStringLiteral("part %1, row %2: %3").arg(parts_.part()).arg(row).arg(note));
  }
  void recordFull() override {
    notifyServiceManager(QStringLiteral("STATUS=Saving part %1").arg(parts_.part()).toUtf8());
    report_.partSaved(parts_.next());
    if (publisher_) publisher_->updateStatus();  // the part's number
  }

 private:
  // What `systemctl status` shows.
  QString statusText() const {
    const QString disk = parts_.trouble();
    return report_.status(*store_, parts_.part(),
                          publisher_ ? publisher_->statusText() : QString()) +
           (disk.isEmpty() ? QString() : QStringLiteral("; ") + disk);
  }

  ConverterDriver& driver_;
  SetUp& setUp_;
  const RecordOptions& options_;
  std::unique_ptr<RecordStore> store_ = std::make_unique<RecordStore>();
  DataTable table_;
  Recorder recorder_;
  RecordJournal journal_;
  RunParts parts_;
  RunReport report_;
  std::unique_ptr<RowPublisher> publisher_;
};

QString channelsText(const PlainRecordFields& fields, QChar separator) {
  QStringList channels;
  for (int c = 1; c <= kChannels; ++c) {
    if (!fields.channelSelected(c)) continue;
    const ChannelScaling scaling = fields.scaling(c);
    QString channel = scaling.isIdentity()
                          ? QStringLiteral("Ch. %1 in %2").arg(c).arg(fields.unitLabel(c))
                          : scalingDescription(c, scaling, fields.unitLabel(c), separator);
    const ChannelLimits limits = UserSettings::channelLimits(c);
    const auto limit = [separator](const std::optional<double>& value) {
      return value ? limitText(*value, separator) : QStringLiteral("none");
    };
    if (limits.any()) {
      channel +=
          QStringLiteral(" (limits: low %1, high %2, dead band %3)")
              .arg(limit(limits.low), limit(limits.high), limitText(limits.deadBand, separator));
    }
    channels << channel;
  }
  return channels.isEmpty() ? QStringLiteral("none") : channels.join(QStringLiteral(", "));
}

}  // namespace

int runRecordCommand(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);  // no window system: no display needed, none loaded
  QCoreApplication::setApplicationName(QStringLiteral("Velan"));
  // Heard from the first instant: a stop while the converter opens ends the program then.
  std::function<void(int)> onStop;
  StopSignals stopSignals([&onStop](int signal) {
    if (onStop) onStop(signal);
  });
  QStringList arguments = QCoreApplication::arguments().mid(1);
  const auto parsed = parseRecordOptions(arguments);
  if (const QString* mistake = std::get_if<QString>(&parsed)) {
    std::fprintf(stderr, "velan record: %s\n%s", qPrintable(*mistake), qPrintable(recordUsage()));
    return kRecordUsage;
  }
  const RecordOptions& options = std::get<RecordOptions>(parsed);
  if (options.help) {
    std::fputs(qPrintable(recordUsage()), stdout);
    return kRecordDone;
  }
  const QChar separator = systemDecimalSeparator();
  SetUp setUp;
  try {
    takeSetUp(setUp, options, separator);
  } catch (const VelanError& error) {
    say(error.message());
    return kRecordUsage;
  }
  QString folder = options.folder.value_or(UserSettings::recordingsFolder());
  if (folder.isEmpty()) {
    folder = defaultRecordingsFolder(setUp.initialDirectory.isEmpty() ? QDir::homePath()
                                                                      : setUp.initialDirectory);
  }
  folder = QDir(folder).absolutePath();
  if (const QString problem = folderProblem(folder); !problem.isEmpty()) {
    say(problem);
    return kRecordCannotWrite;
  }
  // Nobody is there to answer the window's question: an earlier run's rows are saved.
  saveOrphanedJournals(folder, recorderJournalOwner(setUp.port, folder), true, separator, say);

  PublishSettings publishing = keptPublishSettings();
  if (options.mqttUrl) {
    publishing.broker = *options.mqttUrl;
    publishing.enabled = true;
  }
  if (options.mqttTopic) publishing.topic = *options.mqttTopic;
  if (options.mqttPasswordFile) publishing.passwordFile = *options.mqttPasswordFile;
  if (options.mqttCaFile) publishing.caFile = *options.mqttCaFile;
  std::optional<MqttSender::Connection> broker;
  if (publishing.enabled && !publishing.broker.isEmpty()) {
    auto connection = RowPublisher::connectionFor(publishing);
    if (auto* problem = std::get_if<RowPublisher::Problem>(&connection)) {
      say(problem->message);
      // A password file anybody may read is refused outright, as ssh refuses a loose key.
      if (problem->refusesStart) return kRecordUsage;
      say(QStringLiteral("recording without publishing"));
    } else {
      broker = std::get<MqttSender::Connection>(connection);
    }
  }

  const std::unique_ptr<ConverterDriver> driver = chooseConverterDriver();
  UnattendedRun run(*driver, setUp, options, folder, separator, broker, publishing.homeAssistant);
  const std::optional<int> failed = run.open();
  if (const int signal = StopSignals::received()) {
    run.closeConverter();
    say(QStringLiteral("stopping: %1 before the run began: nothing recorded")
            .arg(QLatin1String(StopSignals::name(signal))));
    return kRecordDone;
  }
  if (failed) return *failed;
  say(QStringLiteral("recording COM %1 (%2): %3, every %4 s, experiment \"%5\", parts into %6")
          .arg(setUp.port)
          .arg(UserSettings::serialDevice(setUp.port))
          .arg(channelsText(setUp.fields, separator))
          .arg(QString::number(setUp.intervalMs / 1000.0))
          .arg(setUp.fields.experiment(), folder));
  onStop = [&run](int signal) {
    run.stop(QLatin1String(StopSignals::name(signal)), QStringLiteral("(ended by the system)"));
  };
  run.begin();
  return QCoreApplication::exec();
}
