#include "record_journal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>
#include <utility>

#include "disk_io.h"
#include "file_access.h"
#include "journal_format.h"
#include "monotonic_clock.h"
#include "numbers.h"

namespace {
constexpr int kSyncIntervalMs = 1000;
// A failed journal is tried anew this often while the record goes on.
constexpr int kRetryIntervalMs = 5000;

QByteArray escaped(const QString& text) {
  QByteArray bytes = text.toUtf8();
  if (!bytes.contains('\\') && !bytes.contains('\n') && !bytes.contains('\r')) return bytes;
  QByteArray out;
  out.reserve(bytes.size() + 8);
  for (const char byte : bytes) {
    if (byte == '\\') {
      out += "\\\\";
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\r') {
      out += "\\r";
    } else {
      out += byte;
    }
  }
  return out;
}

void appendNumber(QByteArray& line, double value) {
  line += ';';
  if (isMissing(value)) return;
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);  // shortest exact form
  line.append(text, result.ptr - text);
}

// The recovery folder, private to its user: its file names tell whose runs are open and since
// when. Made 0700; one that exists with wider rights is narrowed where the user owns it.
// Returns 0, or why it cannot be had.
int makePrivateFolder(const QString& folder) {
  const QByteArray parent = QFile::encodeName(QFileInfo(folder).absolutePath());
  if (!QDir().mkpath(QFile::decodeName(parent)))
    return ::access(parent.constData(), W_OK) == 0 ? EIO : errno;
  const QByteArray path = QFile::encodeName(folder);
  if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) return errno;
  struct stat existing {};
  if (::stat(path.constData(), &existing) != 0) return errno;
  if (!S_ISDIR(existing.st_mode)) return ENOTDIR;
  if (existing.st_uid == ::geteuid() && (existing.st_mode & 077) != 0) {
    ::chmod(path.constData(), existing.st_mode & 0700);
  }
  return 0;
}

// The lock of a journal, held by this program; nothing while its owner still runs. A lock is
// stale only when the program that took it no longer runs, never by its age.
std::unique_ptr<QLockFile> lockJournal(const QString& path) {
  auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
  lock->setStaleLockTime(0);
  if (!lock->tryLock(0)) return nullptr;
  // It names the host and the process: the user's alone, as the journal (QLockFile makes it
  // with the umask's rights).
  QFile::setPermissions(lock->fileName(), QFile::ReadOwner | QFile::WriteOwner);
  return lock;
}

// The fields of a line after its keyword; the last field takes the rest of the line.
}  // namespace

RecordJournal::RecordJournal(const RecordStore& store, const DataTable& table,
                             const RecordFields& fields)
    : store_(store), table_(table), fields_(fields) {
  setDiskSync([](int fd) { return diskIo().syncFile(fd, true); }, systemMonotonicClock());
  syncTimer_.setSingleShot(true);
  syncTimer_.setInterval(kSyncIntervalMs);
  QObject::connect(&syncTimer_, &QTimer::timeout, [this] { sync(); });
  retryTimer_.setInterval(kRetryIntervalMs);
  QObject::connect(&retryTimer_, &QTimer::timeout, [this] { retry(); });
}

RecordJournal::~RecordJournal() { closeFile(); }

QString RecordJournal::directory() {
  return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
         QStringLiteral("/recovery");
}

void KeptJournal::remove() {
  if (!path.isEmpty()) QFile::remove(path);
  path.clear();
  lock.reset();  // unlocks and removes the lock file
}

void RecordJournal::begin() {
  discard();
  active_ = true;
  writeAnew();
}

void RecordJournal::closeFile() {
  syncTimer_.stop();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  dirty_ = false;
}

void RecordJournal::discard() {
  closeFile();
  if (!path_.isEmpty()) QFile::remove(path_);
  path_.clear();
  lock_.reset();  // unlocks and removes the lock file
  active_ = false;
  failure_.clear();
  retryTimer_.stop();
  rowsWritten_ = rowsSynced_ = 0;
}

KeptJournal RecordJournal::handOver() {
  if (!failure_.isEmpty()) retry();
  sync();
  closeFile();
  KeptJournal kept{std::exchange(path_, QString()), std::move(lock_), rowsSynced_};
  discard();
  return kept;
}

QByteArray RecordJournal::fieldLines() const {
  QByteArray lines = "experiment;" + escaped(fields_.experiment()) + '\n';
  lines += "start;" + escaped(fields_.startTime()) + '\n';
  for (int c = 1; c <= kChannels; ++c) {
    lines += "channel;" + QByteArray::number(c) + (fields_.channelSelected(c) ? ";1;" : ";0;") +
             escaped(fields_.unitLabel(c)) + '\n';
    lines += "decimals;" + QByteArray::number(c) + ';' +
             QByteArray::number(store_.valueDecimals[c]) + '\n';
  }
  return lines;
}

void RecordJournal::fieldsChanged() {
  if (active_) append(fieldLines());
}

QByteArray RecordJournal::rowLine(int n) const {
  QByteArray line = "row;" + QByteArray::number(n);
  line.reserve(128);
  appendNumber(line, store_.time[n]);
  for (int c = 1; c <= kChannels; ++c) appendNumber(line, store_.value[c][n]);
  line += '\n';
  return line;
}

QByteArray RecordJournal::cellLine(const DataTable& table, int row, int column) {
  return "cell;" + QByteArray::number(row) + ';' + QByteArray::number(column) + ';' +
         escaped(table.cell(column, row)) + '\n';
}

void RecordJournal::rowStored() {
  if (!active_) return;
  append(rowLine(store_.rowCount));
}

void RecordJournal::cellsEdited(const DataTable& table, int firstRow, int lastRow, int column) {
  if (!active_) return;
  QByteArray lines;
  for (int row = firstRow; row <= lastRow; ++row) {
    for (int c = 0; c < DataTable::kColumns; ++c) {
      if (column < 0 || c == column) lines += cellLine(table, row, c);
    }
  }
  append(lines);
}

QByteArray RecordJournal::wholeRecord() const {
  // The journal's first lines, then every row; cells only where the table differs from what
  // the rows give (notes, edits, dragged rows), so that this file alone gives the record back.
  QByteArray lines = kJournalFirstLine + '\n';
  if (!owner_.isEmpty()) lines += "owner;" + escaped(owner_) + '\n';
  lines += fieldLines();
  if (cellHasText(table_.cellView(DataTable::kNotesColumn, 0))) {
    lines += "note;0;" + escaped(table_.cell(DataTable::kNotesColumn, 0)) + '\n';
  }
  for (int n = 1; n <= store_.rowCount; ++n) {
    lines += rowLine(n);
    for (int c = table_.keepsNotesOnly() ? DataTable::kNotesColumn : 0; c < DataTable::kColumns;
         ++c) {
      const QString own = c == 0 ? DataTable::timeText(store_.time[n])
                          : c == DataTable::kNotesColumn
                              ? DataTable::blank()
                              : DataTable::valueText(store_.value[c][n], store_.valueDecimals[c]);
      if (table_.cellView(c, n) != own) lines += cellLine(table_, n, c);
    }
  }
  return lines;
}

namespace {
// Why a lock file could not be made in `folder`: the disk's state where that explains it.
int lockFailure(const QString& folder) {
  struct statvfs disk {};
  if (::statvfs(QFile::encodeName(folder).constData(), &disk) != 0) return errno;
  if (disk.f_flag & ST_RDONLY) return EROFS;
  if (disk.f_bavail == 0 || disk.f_favail == 0) return ENOSPC;
  return EACCES;
}
}  // namespace

bool RecordJournal::writeAnew() {
  closeFile();
  const QString folder = directory();
  if (const int error = makePrivateFolder(folder); error != 0) {
    fail(error);
    return false;
  }
  if (path_.isEmpty()) {
    const QString stem =
        QStringLiteral("%1/%2-%3")
            .arg(folder, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
            .arg(QCoreApplication::applicationPid());
    // Never an existing journal's name, nor a locked one's: the one being restored may have the
    // same second and pid, and a part's journal kept while it waits may not be on the disk.
    const auto taken = [](const QString& name) {
      return QFileInfo::exists(name) || QFileInfo::exists(name + QStringLiteral(".lock"));
    };
    QString name = stem + QStringLiteral(".journal");
    for (int copy = 2; taken(name); ++copy) {
      name = QStringLiteral("%1-%2.journal").arg(stem).arg(copy);
    }
    lock_ = lockJournal(name);
    if (!lock_) {
      fail(lockFailure(folder));
      return false;
    }
    path_ = name;
  }
  // Beside the journal, under a name no search for journals finds, until it is whole on the
  // disk: a journal cut by the failure stays the one to recover until then.
  const QByteArray target = QFile::encodeName(path_);
  const QByteArray fresh = target + ".new";
  const int fd = diskIo().openFile(fresh.constData(),
                                   O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) {
    fail(errno);
    return false;
  }
  const QByteArray lines = wholeRecord();
  int error = writeAll(fd, lines.constData(), static_cast<size_t>(lines.size()));
  if (error == 0 && diskSync_(fd) != 0) error = errno;
  if (error == 0 && diskIo().renameFile(fresh.constData(), target.constData(), 0) != 0) {
    error = errno;
  }
  if (error != 0) {
    ::close(fd);
    ::unlink(fresh.constData());
    fail(error);
    return false;
  }
  fd_ = fd;
  syncFolderOf(target.constData());
  lastSync_ = clock_();
  rowsWritten_ = rowsSynced_ = store_.rowCount;
  retryTimer_.stop();
  if (!std::exchange(failure_, QString()).isEmpty() && onResumed_) onResumed_();
  return true;
}

void RecordJournal::restoreFrom(OrphanedJournal&& old) {
  discard();
  active_ = true;
  if (writeAnew()) {
    QFile::remove(old.path);  // the new journal holds the record now
    return;
  }
  // No new journal: the old one keeps the record until it is saved, given up or written anew.
  lock_.reset();
  path_ = old.path;
  lock_ = std::move(old.lock);
  rowsWritten_ = rowsSynced_ = store_.rowCount;
}

void RecordJournal::noteAdded(int row, const QString& note) {
  if (active_) append("note;" + QByteArray::number(row) + ';' + escaped(note) + '\n');
}

bool RecordJournal::retry() {
  if (!active_) return false;
  return failure_.isEmpty() || writeAnew();
}

void RecordJournal::append(const QByteArray& bytes) {
  // Where the journal failed, the record in memory has this change already: it comes with the
  // journal written anew.
  if (!failure_.isEmpty()) return;
  // Straight to the kernel: a killed program loses nothing that was written here.
  if (const int error = writeAll(fd_, bytes.constData(), static_cast<size_t>(bytes.size()))) {
    fail(error);
    return;
  }
  dirty_ = true;
  rowsWritten_ = store_.rowCount;  // every row is appended as it is stored
  // To the disk at most once a second: a power cut loses about the last two seconds at most.
  if (!lastSync_ || clock_() - *lastSync_ >= kSyncIntervalMs) {
    sync();
  } else if (!syncTimer_.isActive()) {
    syncTimer_.start();
  }
}

void RecordJournal::sync() {
  if (fd_ < 0 || !dirty_) return;
  if (diskSync_(fd_) != 0) {
    // What failed to reach the disk may be dropped by the system and never written, however
    // often it is flushed again: only a journal written anew is sure.
    fail(errno);
    return;
  }
  dirty_ = false;
  lastSync_ = clock_();
  rowsSynced_ = rowsWritten_;
}

void RecordJournal::setDiskSync(std::function<int(int)> sync, std::function<int64_t()> clock) {
  diskSync_ = std::move(sync);
  clock_ = std::move(clock);
}

QString RecordJournal::trouble() const {
  if (!active_ || failure_.isEmpty()) return {};
  return QStringLiteral("recovery file not written since %1 (%2): %3 rows only in memory")
      .arg(failedAt_.toString(QStringLiteral("HH:mm:ss")), failure_)
      .arg(store_.rowCount - rowsSynced_);
}

void RecordJournal::fail(int errorNumber) {
  // The run goes on with its rows in memory; what was written stays for a recovery until the
  // journal is written anew. What reached the file before a failed write is flushed if it can
  // be, so that it counts as on the disk.
  if (fd_ >= 0 && dirty_ && errorNumber != EIO && diskSync_(fd_) == 0) rowsSynced_ = rowsWritten_;
  closeFile();
  const bool first = failure_.isEmpty();
  failure_ = fileErrorMessage(errorNumber);
  if (!first) return;
  failedAt_ = QDateTime::currentDateTime();
  retryTimer_.start();
  if (onFailure_) onFailure_(failure_);
}

namespace {
// Whether no running program holds a journal whose lock this program could not take: a folder
// where no lock file can be made (a read-only medium) leaves none, or the crashed program's.
bool noProgramHolds(const QString& path) {
  const QString lockPath = path + QStringLiteral(".lock");
  if (!QFileInfo::exists(lockPath)) return true;
  QLockFile lock(lockPath);
  qint64 pid = 0;
  QString host;
  QString application;
  // Unreadable: a lock being written this moment, or another machine's; leave it alone.
  if (!lock.getLockInfo(&pid, &host, &application) || pid <= 0) return false;
  if (host != QSysInfo::machineHostName()) return false;
  if (::kill(static_cast<pid_t>(pid), 0) == 0) return false;  // it runs
  return errno == ESRCH;                                      // EPERM: it runs, as another user
}
}  // namespace

std::vector<OrphanedJournal> findOrphanedJournals() {
  const QDir folder(RecordJournal::directory());
  // A lock without its journal (a program ended at once by a second signal, between the two):
  // taken from the program that no longer runs, and so removed.
  for (const QString& lock : folder.entryList({QStringLiteral("*.journal.lock")}, QDir::Files)) {
    const QString journal = folder.filePath(lock.chopped(5));
    if (!QFileInfo::exists(journal)) lockJournal(journal);
  }
  std::vector<OrphanedJournal> found;
  const QFileInfoList files =
      folder.entryInfoList({QStringLiteral("*.journal")}, QDir::Files, QDir::Time);  // newest first
  for (const QFileInfo& file : files) {
    std::unique_ptr<QLockFile> lock = lockJournal(file.filePath());
    if (lock || noProgramHolds(file.filePath())) {
      found.push_back({file.filePath(), std::move(lock)});
    }
  }
  return found;
}
