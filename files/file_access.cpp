#include "file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <utility>

#include "disk_io.h"

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
    case EISDIR:
    case ETXTBSY:
      return QStringLiteral("Dateizugriff verweigert");
    case EROFS:
      return QStringLiteral("Datenträger schreibgeschützt");
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

// A file written straight through write(2), every call's result checked and the first failure
// kept. A buffered QFile learns of a full disk only at its flush, whose failure QSaveFile's
// commit does not look at: it reported a file of 0 bytes as saved.
class DescriptorDevice : public QIODevice {
 public:
  explicit DescriptorDevice(int fd) : fd_(fd) {
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
  }
  qint64 written() const { return written_; }
  int failure() const { return failure_; }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override {
    if (failure_ != 0) return -1;
    failure_ = writeAll(fd_, data, static_cast<size_t>(size));
    if (failure_ != 0) {
      errno = failure_;  // for the writer's message
      return -1;
    }
    written_ += size;
    return size;
  }

 private:
  int fd_;
  qint64 written_ = 0;
  int failure_ = 0;
};

// Runs `write` into `fd` and makes sure the disk has all of it: no write failed, the data is
// synced, and the file's size is what was written. Closes `fd` either way.
void writeToDisk(int fd, const std::function<void(QIODevice&)>& write) {
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  DescriptorDevice device(fd);
  write(device);
  if (device.failure() != 0) fail(device.failure());
  if (diskIo().syncFile(fd, false) != 0) fail(errno);
  struct stat info {};
  if (::fstat(fd, &info) != 0) fail(errno);
  if (info.st_size != device.written()) fail(EIO);
}

// A new file beside `target`, hidden, removed again unless released.
class TemporaryFile {
 public:
  // Its rights are the umask's, or `mode` where given (the file it will replace).
  explicit TemporaryFile(const QString& target, std::optional<mode_t> mode = std::nullopt) {
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
      path_ = QFile::encodeName(
          QStringLiteral("%1/.%2.%3~")
              .arg(info.absolutePath(), info.fileName())
              .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
      fd_ = diskIo().openFile(path_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
      error_ = errno;
      path_.clear();
    } else if (mode) {
      ::fchmod(fd_, *mode);
    }
  }
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.isEmpty()) ::unlink(path_.constData());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool created() const { return !path_.isEmpty(); }
  int error() const { return error_; }
  const QByteArray& path() const { return path_; }
  /// The descriptor, handed over to whoever closes it.
  int takeDescriptor() { return std::exchange(fd_, -1); }
  /// It now has its final name: nothing to remove.
  void release() { path_.clear(); }

 private:
  QByteArray path_;
  int fd_ = -1;
  int error_ = 0;
};

// The new name in the folder's entry on the disk too, so that a power cut keeps it. Some file
// systems cannot flush a folder at all; only a failing disk counts.
void flushNameOf(const QByteArray& path) {
  if (syncFolderOf(path.constData()) == EIO) fail(EIO);
}

// Writes over the existing file at `path` in place (its folder forbids a new file beside it);
// when that fails, its old bytes are put back, or the message says that the old file is damaged.
void writeInPlace(const QByteArray& path, const std::function<void(QIODevice&)>& write) {
  QFile old(QFile::decodeName(path));
  if (!old.open(QIODevice::ReadOnly)) fail(EACCES);  // what could not be read, cannot be put back
  const QByteArray oldBytes = old.readAll();
  old.close();
  const auto overwrite = [&path](const std::function<void(QIODevice&)>& contents) {
    const int fd = diskIo().openFile(path.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC, 0);
    if (fd < 0) fail(errno);
    writeToDisk(fd, contents);
  };
  try {
    overwrite(write);
  } catch (const VelanError& error) {
    try {
      overwrite([&oldBytes](QIODevice& device) { writeBytes(device, oldBytes); });
    } catch (const VelanError&) {
      throw VelanError(error.message() + QStringLiteral("; die alte Datei ist beschädigt"));
    }
    throw;
  }
}

// Gives `from` the name `to` unless a file of that name exists (EEXIST then).
int renameNoReplace(const QByteArray& from, const QByteArray& to) {
  if (diskIo().renameFile(from.constData(), to.constData(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A file system without the flag: a hard link fails just as well on an existing name.
  if (diskIo().linkFile(from.constData(), to.constData()) == 0) {
    return ::unlink(from.constData()), 0;
  }
  if (errno != EPERM && errno != EOPNOTSUPP) return -1;
  // Nor hard links (a FAT stick): the name checked just before, the best it allows.
  struct stat existing {};
  if (::lstat(to.constData(), &existing) == 0) return errno = EEXIST, -1;
  return diskIo().renameFile(from.constData(), to.constData(), 0);
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
  const QByteArray targetPath = QFile::encodeName(target);
  struct stat existing {};
  const bool replaces = ::stat(targetPath.constData(), &existing) == 0;
  TemporaryFile temporary(
      target, replaces ? std::optional<mode_t>(existing.st_mode & 07777) : std::nullopt);
  if (!temporary.created()) {
    // Only a folder that forbids new files: a full disk, a quota, a read-only or failing disk
    // would fail the write over the old file too, and lose old and new at once.
    const int error = temporary.error();
    if (!replaces || (error != EACCES && error != EPERM)) fail(error);
    writeInPlace(targetPath, write);
    return;
  }
  writeToDisk(temporary.takeDescriptor(), write);
  if (diskIo().renameFile(temporary.path().constData(), targetPath.constData(), 0) != 0) {
    fail(errno);
  }
  temporary.release();
  flushNameOf(targetPath);
}

QString saveNewFile(const std::function<QString(int copy)>& nameFor,
                    const std::function<void(QIODevice&)>& write) {
  const QString first = nameFor(1);
  checkWritable(first);
  TemporaryFile temporary(first);
  if (!temporary.created()) fail(temporary.error());
  writeToDisk(temporary.takeDescriptor(), write);
  constexpr int kMostCopies = 10000;
  for (int copy = 1; copy <= kMostCopies; ++copy) {
    QString name = copy == 1 ? first : nameFor(copy);
    const QByteArray namePath = QFile::encodeName(name);
    if (renameNoReplace(temporary.path(), namePath) == 0) {
      temporary.release();
      try {
        flushNameOf(namePath);
      } catch (const VelanError&) {
        // Not sure to stay: a file called unsaved must not stay to be saved twice.
        ::unlink(namePath.constData());
        throw;
      }
      return name;
    }
    if (errno != EEXIST) fail(errno);
  }
  fail(EEXIST);
}
