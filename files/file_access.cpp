#include "file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
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

void writeBytes(QIODevice& device, const QByteArray& bytes) {
  errno = 0;
  if (device.write(bytes) != bytes.size()) {
    throw VelanError(fileErrorMessage(errno ? errno : ENOSPC));
  }
}

namespace {
[[noreturn]] void fail(int errorNumber) { throw VelanError(fileErrorMessage(errorNumber)); }

bool folderExists(const QString& path) {
  const QFileInfo folder(QFileInfo(path).absolutePath());
  return folder.exists() && folder.isDir();
}
}  // namespace

void openRegularFile(QFile& file, const QByteArray& nativePath) {
  if (nativePath.isEmpty()) fail(ENOENT);
  // Without blocking: opening a FIFO for reading would wait until someone writes to it.
  const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    const qsizetype slash = nativePath.lastIndexOf('/');
    struct stat folder {};
    const bool inAFolder =
        slash <= 0 ||
        (::stat(nativePath.left(slash).constData(), &folder) == 0 && S_ISDIR(folder.st_mode));
    fail(error == ENOENT && !inAFolder ? ENOTDIR : error);
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    fail(EACCES);  // a folder, FIFO, device or socket
  }
}

void checkWritable(const QString& path) {
  if (path.isEmpty() || !folderExists(path)) fail(ENOTDIR);
  const QFileInfo info(path);
  if (info.isDir()) fail(EACCES);
  // Saving replaces the file by a rename, which a read-only file would not stop on its own.
  if (info.exists() && !(info.permissions() & QFileDevice::WriteOwner)) fail(EACCES);
  if (::access(QFile::encodeName(info.absolutePath()).constData(), W_OK) == 0) return;
  const int folderError = errno;
  // A locked folder still lets an existing writable file be written in place.
  if (!info.exists() || ::access(QFile::encodeName(path).constData(), W_OK) != 0) {
    fail(folderError);
  }
}

namespace {
// The file a save must replace: a symbolic link stays and the file it names is replaced.
QString resolveLinks(const QString& path) {
  const QFileInfo info(path);
  if (!info.isSymLink()) return path;
  const QString canonical = info.canonicalFilePath();
  return canonical.isEmpty() ? info.symLinkTarget() : canonical;  // a dangling link: its target
}
}  // namespace

void saveFile(const QString& path, const std::function<void(QIODevice&)>& write) {
  const QString target = resolveLinks(path);
  checkWritable(target);
  const QFileInfo info(target);
  if (info.exists() && !info.isFile()) {
    // A device or FIFO cannot be renamed over; unbuffered, every write is checked as it happens.
    QFile file(target);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) fail(errno ? errno : EACCES);
    write(file);
    return;
  }
  QSaveFile file(target);
  file.setDirectWriteFallback(true);
  errno = 0;
  if (!file.open(QIODevice::WriteOnly)) fail(errno ? errno : EACCES);
  write(file);  // on a throw, QSaveFile's destructor removes the temporary file
  errno = 0;
  if (!file.commit()) fail(errno ? errno : EIO);
}
