#include "serial_open_error.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

namespace {
// The name of a group or user, through the reentrant calls (the UI thread may look names up
// at the same time); the number where it has none.
QString groupName(gid_t id) {
  group entry{};
  group* found = nullptr;
  char buffer[4096];
  if (::getgrgid_r(id, &entry, buffer, sizeof buffer, &found) != 0 || !found) {
    return QString::number(id);
  }
  return QString::fromLocal8Bit(found->gr_name);
}

QString userName(uid_t id) {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(id, &entry, buffer, sizeof buffer, &found) != 0 || !found) {
    return QString::number(id);
  }
  return QString::fromLocal8Bit(found->pw_name);
}

// What a user who may not open `device` can do about it: join its group where that group may
// read and write it, else ask for access.
QString permissionHint(const QString& device) {
  struct stat info {};
  if (::stat(QFile::encodeName(device).constData(), &info) != 0) {
    return QStringLiteral("Permission denied: %1.").arg(device);
  }
  const QString group = groupName(info.st_gid);
  if ((info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
    return QStringLiteral(
               "Permission denied: %1. Your user must be in the group that owns it (%2): "
               "sudo usermod -aG %2 $USER, then log in again.")
        .arg(device, group);
  }
  return QStringLiteral(
             "Permission denied: %1 belongs to %2 (group %3, mode %4), and its group may not "
             "read and write it: a udev rule or the administrator must grant you access.")
      .arg(device, userName(info.st_uid), group)
      .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
}

}  // namespace

QString openError(const QSerialPort& port, const QString& device) {
  const QByteArray path = QFile::encodeName(device);
  if (::access(path.constData(), F_OK) != 0)
    return QStringLiteral("No such device: %1").arg(device);
  if (::access(path.constData(), R_OK | W_OK) != 0) return permissionHint(device);
  if (port.error() == QSerialPort::PermissionError) {
    return QStringLiteral("%1 is in use by another program.").arg(device);
  }
  return QStringLiteral("Cannot open %1: %2").arg(device, port.errorString());
}
