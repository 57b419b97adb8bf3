#include "file_errors.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>

QString fileErrorMessage(int errorNumber) {
  switch (errorNumber) {
    case ENOENT:
      return QStringLiteral("Datei nicht gefunden");
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
      return QStringLiteral("Ungültiger Dateiname");
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return QStringLiteral("Dateizugriff verweigert");
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return QStringLiteral("Zu wenig Speicherplatz");
    default:
      return QStringLiteral("E/A-Fehler %1").arg(errorNumber);
  }
}

namespace {
[[noreturn]] void fail(int errorNumber) { throw VelanError(fileErrorMessage(errorNumber)); }

bool folderExists(const QString& path) {
  const QFileInfo folder(QFileInfo(path).absolutePath());
  return folder.exists() && folder.isDir();
}
}  // namespace

void checkReadable(const QString& path) {
  if (path.isEmpty()) fail(ENOENT);
  const QFileInfo info(path);
  if (info.isDir()) fail(EACCES);
  if (!info.exists()) fail(folderExists(path) ? ENOENT : ENOTDIR);
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(errno);
  ::close(fd);
}

void checkWritable(const QString& path) {
  if (path.isEmpty() || !folderExists(path)) fail(ENOTDIR);
  const QFileInfo info(path);
  if (info.isDir()) fail(EACCES);
  // Saving replaces the file by a rename, which a read-only file would not stop on its own.
  if (info.exists() && !(info.permissions() & QFileDevice::WriteOwner)) fail(EACCES);
  if (::access(QFile::encodeName(info.absolutePath()).constData(), W_OK) != 0) fail(errno);
}
