#include "user_settings.h"

#include <QSettings>
#include <QStandardPaths>
#include <cmath>

namespace {
QString settingsPath();

QSettings settings() { return QSettings(settingsPath(), QSettings::IniFormat); }

QString settingsPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/Velan/Velan.conf");
}

QString portKey(int port) { return QStringLiteral("SerialPorts/%1").arg(port); }
}  // namespace

QString UserSettings::readProblem() {
  const QString path = settingsPath();
  switch (settings().status()) {
    case QSettings::NoError:
      return {};
    case QSettings::AccessError:
      return QStringLiteral("%1 cannot be read: no permission").arg(path);
    case QSettings::FormatError:
      break;
  }
  return QStringLiteral("%1 cannot be read: it is not in the settings format (repair or remove it)")
      .arg(path);
}

QStringList UserSettings::recentFiles() {
  return settings().value(QStringLiteral("recentFiles")).toStringList();
}

void UserSettings::setRecentFiles(const QStringList& paths) {
  settings().setValue(QStringLiteral("recentFiles"), paths);
}

QString UserSettings::serialDevice(int port) {
  const QString assigned = settings().value(portKey(port)).toString();
  return assigned.isEmpty() ? QStringLiteral("/dev/ttyS%1").arg(port - 1) : assigned;
}

void UserSettings::assignSerialDevice(int port, const QString& device) {
  if (device.isEmpty()) {
    settings().remove(portKey(port));
  } else {
    settings().setValue(portKey(port), device);
  }
}

QString UserSettings::recordingsFolder() {
  return settings().value(QStringLiteral("recordingsFolder")).toString();
}

void UserSettings::setRecordingsFolder(const QString& folder) {
  settings().setValue(QStringLiteral("recordingsFolder"), folder);
}

ChannelScaling UserSettings::channelScaling(int channel) {
  QSettings stored = settings();
  stored.beginGroup(QStringLiteral("ChannelScaling%1").arg(channel));
  ChannelScaling scaling;
  bool factorRead = false;
  bool offsetRead = false;
  const double factor = stored.value(QStringLiteral("factor")).toDouble(&factorRead);
  const double offset = stored.value(QStringLiteral("offset")).toDouble(&offsetRead);
  // A hand-edited entry that is no usable scaling is no scaling.
  if (factorRead && offsetRead && std::isfinite(factor) && std::isfinite(offset) &&
      !scalingProblem(channel, {factor, offset})) {
    scaling = {factor, offset};
  }
  return scaling;
}

QString UserSettings::takeEndedRunMessage() {
  QSettings stored = settings();
  QString message = stored.value(QStringLiteral("endedRun")).toString();
  stored.remove(QStringLiteral("endedRun"));
  return message;
}

void UserSettings::setEndedRunMessage(const QString& message) {
  settings().setValue(QStringLiteral("endedRun"), message);
}

void UserSettings::restoreScaledUnits(RecordFields& fields) {
  for (int c = 1; c <= kChannels; ++c) {
    const QString kept = channelUnit(c);
    if (!fields.scaling(c).isIdentity() && !kept.isEmpty() &&
        fields.unitLabel(c).trimmed() == kMillivolts) {
      fields.setUnitLabel(c, kept);
    }
  }
}

QString UserSettings::channelUnit(int channel) {
  return settings().value(QStringLiteral("ChannelScaling%1/unit").arg(channel)).toString();
}

void UserSettings::setChannelScaling(int channel, const ChannelScaling& scaling,
                                     const QString& unit) {
  QSettings stored = settings();
  const QString group = QStringLiteral("ChannelScaling%1").arg(channel);
  if (scaling.isIdentity()) {
    stored.remove(group);
    return;
  }
  stored.beginGroup(group);
  stored.setValue(QStringLiteral("factor"), scaling.factor);
  stored.setValue(QStringLiteral("offset"), scaling.offset);
  stored.setValue(QStringLiteral("unit"), unit);
}

ChannelLimits UserSettings::channelLimits(int channel) {
  QSettings stored = settings();
  stored.beginGroup(QStringLiteral("ChannelLimits%1").arg(channel));
  const auto read = [&stored](const char* key) -> std::optional<double> {
    bool ok = false;
    const double value = stored.value(QLatin1String(key)).toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional(value) : std::nullopt;
  };
  ChannelLimits limits{read("low"), read("high"), read("deadBand").value_or(0)};
  // A hand-edited entry that is no usable band is no band.
  return limitsProblem(channel, limits) ? ChannelLimits{} : limits;
}

void UserSettings::setChannelLimits(int channel, const ChannelLimits& limits) {
  QSettings stored = settings();
  const QString group = QStringLiteral("ChannelLimits%1").arg(channel);
  stored.remove(group);
  if (!limits.any()) return;
  stored.beginGroup(group);
  if (limits.low) stored.setValue(QStringLiteral("low"), *limits.low);
  if (limits.high) stored.setValue(QStringLiteral("high"), *limits.high);
  stored.setValue(QStringLiteral("deadBand"), limits.deadBand);
}

QVariant UserSettings::value(const QString& key, const QVariant& fallback) {
  return settings().value(key, fallback);
}

void UserSettings::setValue(const QString& key, const QVariant& value) {
  settings().setValue(key, value);
}
