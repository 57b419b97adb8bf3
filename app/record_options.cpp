// velan record's command line: its options, their values and the usage text.
#include "record_options.h"

#include <cmath>

#include "record_exit.h"

namespace {

std::optional<double> number(const QString& text) {
  bool ok = false;
  const double value = text.toDouble(&ok);
  return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

}  // namespace

QString recordUsage() {
  QString usage = QStringLiteral(
      "usage: velan record [options]\n"
      "Records from the converter without a display until stopped (SIGINT, SIGTERM, SIGHUP),\n"
      "saving the record in parts as the window does. Without options it takes your own\n"
      "set-up: Velan.ini in the current folder, and the port assignments, scalings and\n"
      "recordings folder of ~/.config/Velan/Velan.conf.\n"
      "  --port N             the converter's port (COM N)\n"
      "  --channels LIST      the channels to record, e.g. 1,2,4\n"
      "  --interval SECONDS   the reading interval, 0.25 to 500, to the millisecond\n"
      "  --experiment TEXT    the experiment's description (names the files)\n"
      "  --folder DIR         where the parts go (default: the recordings folder)\n"
      "  --duration SECONDS   stop after this long\n"
      "  --rows N             stop after N rows\n"
      "  --settings FILE      a Velan.ini to take the set-up from\n"
      "  --simulate           record simulated readings when no converter answers\n"
      "  --mqtt URL           publish rows to a broker: mqtt://[user@]host[:port], mqtts://...\n"
      "  --mqtt-topic PREFIX  the topics' prefix (default: velan/<host name>)\n"
      "  --mqtt-password-file FILE  the broker password, in a file only you may read\n"
      "  --mqtt-ca FILE       the CA certificate that verifies an mqtts:// broker\n"
      "  --help               this text\n"
      "Exit status:\n");
  for (const RecordExitStatus& status : kRecordExitStatuses) {
    usage += QStringLiteral("  %1  %2\n").arg(status.code, 3).arg(QLatin1String(status.meaning));
  }
  return usage;
}

namespace {
// One option that takes a value: set in `options`, or why not.
QString setValuedOption(RecordOptions& options, const QString& name, const QString& value) {
  const std::optional<double> numeric = number(value);
  const auto whole = [&]() -> std::optional<int> {
    if (!numeric || *numeric != std::floor(*numeric) || *numeric < 1 || *numeric > 1e9) {
      return std::nullopt;
    }
    return static_cast<int>(*numeric);
  };
  if (name == QLatin1String("--port")) {
    if (!whole()) return QStringLiteral("--port takes a port number (1, 2, ...)");
    options.port = whole();
  } else if (name == QLatin1String("--rows")) {
    if (!whole()) return QStringLiteral("--rows takes a number of rows (1 or more)");
    options.rows = whole();
  } else if (name == QLatin1String("--channels")) {
    std::array<bool, kChannels + 1> chosen{};
    for (const QString& part : value.split(QLatin1Char(','))) {
      bool ok = false;
      const int channel = part.trimmed().toInt(&ok);
      if (!ok || channel < 1 || static_cast<size_t>(channel) >= chosen.size()) {
        return QStringLiteral("--channels takes channel numbers 1 to 4, e.g. 1,2,4");
      }
      chosen[channel] = true;
    }
    options.channels = chosen;
  } else if (name == QLatin1String("--interval")) {
    // Any interval a run can have, as a Velan.ini may hold one: the window's steps among them.
    const bool inRange = numeric && *numeric * 1000 >= kMinimumIntervalMs - 1e-6 &&
                         *numeric * 1000 <= kMaximumIntervalMs + 1e-6;
    const int ms = inRange ? static_cast<int>(std::lround(*numeric * 1000)) : 0;
    if (!inRange || std::fabs(*numeric * 1000 - ms) > 1e-6) {
      return QStringLiteral("--interval takes seconds from %1 to %2, to the millisecond")
          .arg(kMinimumIntervalMs / 1000.0)
          .arg(kMaximumIntervalMs / 1000.0);
    }
    options.intervalMs = ms;
  } else if (name == QLatin1String("--duration")) {
    if (!numeric || *numeric <= 0) return QStringLiteral("--duration takes seconds (above 0)");
    options.durationSeconds = numeric;
  } else {
    // Options whose value is taken as it stands.
    static const std::pair<const char*, std::optional<QString> RecordOptions::*> kTexts[] = {
        {"--experiment", &RecordOptions::experiment},
        {"--folder", &RecordOptions::folder},
        {"--settings", &RecordOptions::settings},
        {"--mqtt", &RecordOptions::mqttUrl},
        {"--mqtt-topic", &RecordOptions::mqttTopic},
        {"--mqtt-password-file", &RecordOptions::mqttPasswordFile},
        {"--mqtt-ca", &RecordOptions::mqttCaFile}};
    for (const auto& [option, field] : kTexts) {
      if (name == QLatin1String(option)) options.*field = value;
    }
  }
  return {};
}
}  // namespace

std::variant<RecordOptions, QString> parseRecordOptions(const QStringList& arguments) {
  RecordOptions options;
  for (int i = 0; i < arguments.size(); ++i) {
    QString name = arguments[i];
    QString value;
    const qsizetype equals = name.indexOf(QLatin1Char('='));
    const bool joined = name.startsWith(QLatin1String("--")) && equals > 0;
    if (joined) {
      value = name.mid(equals + 1);
      name = name.left(equals);
    }
    if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
      options.help = true;
      continue;
    }
    if (name == QLatin1String("--simulate")) {
      options.simulate = true;
      continue;
    }
    static const QStringList kValued = {"--port",
                                        "--channels",
                                        "--interval",
                                        "--experiment",
                                        "--folder",
                                        "--duration",
                                        "--rows",
                                        "--settings",
                                        "--mqtt",
                                        "--mqtt-topic",
                                        "--mqtt-password-file",
                                        "--mqtt-ca"};
    if (!kValued.contains(name)) return QStringLiteral("unknown option '%1'").arg(arguments[i]);
    if (!joined) {
      if (i + 1 >= arguments.size()) return QStringLiteral("%1 needs a value").arg(name);
      value = arguments[++i];
    }
    const QString mistake = setValuedOption(options, name, value);
    if (!mistake.isEmpty()) return mistake;
  }
  return options;
}
