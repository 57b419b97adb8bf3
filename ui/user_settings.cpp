#include "user_settings.h"

#include <QSettings>
#include <QStandardPaths>

namespace {
QSettings settings() {
  return QSettings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                       QStringLiteral("/Velan/Velan.conf"),
                   QSettings::IniFormat);
}

QString portKey(int port) { return QStringLiteral("SerialPorts/%1").arg(port); }
}  // namespace

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
