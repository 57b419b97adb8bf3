#include "record_journal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
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

#include "file_access.h"
#include "journal_format.h"
#include "monotonic_clock.h"
#include "numbers.h"

namespace {
constexpr int kSyncIntervalMs = 1000;

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
bool makePrivateFolder(const QString& folder) {
  const QFileInfo info(folder);
  if (!QDir().mkpath(info.absolutePath())) return false;
  const QByteArray path = QFile::encodeName(folder);
  if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) return false;
  struct stat existing {};
  if (::stat(path.constData(), &existing) != 0 || !S_ISDIR(existing.st_mode)) return false;
  if (existing.st_uid == ::geteuid() && (existing.st_mode & 077) != 0) {
    ::chmod(path.constData(), existing.st_mode & 0700);
  }
  return true;
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

RecordJournal::RecordJournal(const RecordStore& store, const RecordFields& fields)
    : store_(store), fields_(fields) {
  setDiskSync(::fdatasync, systemMonotonicClock());
  syncTimer_.setSingleShot(true);
  syncTimer_.setInterval(kSyncIntervalMs);
  QObject::connect(&syncTimer_, &QTimer::timeout, [this] { sync(); });
}

RecordJournal::~RecordJournal() { closeFile(); }

QString RecordJournal::directory() {
  return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
         QStringLiteral("/recovery");
}

void RecordJournal::begin() {
  discard();
  const QString folder = directory();
  if (!makePrivateFolder(folder)) {
    fail(EACCES);
    return;
  }
  const QString stem =
      QStringLiteral("%1/%2-%3")
          .arg(folder, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
          .arg(QCoreApplication::applicationPid());
  // Never an existing journal's name: the one being restored may have the same second and pid.
  QString name = stem + QStringLiteral(".journal");
  for (int copy = 2; QFileInfo::exists(name); ++copy) {
    name = QStringLiteral("%1-%2.journal").arg(stem).arg(copy);
  }
  std::unique_ptr<QLockFile> lock = lockJournal(name);
  if (!lock) {
    fail(EACCES);
    return;
  }
  fd_ = ::open(QFile::encodeName(name).constData(),
               O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    fail(errno);
    return;
  }
  path_ = name;
  lock_ = std::move(lock);
  append(kJournalFirstLine + '\n');
  if (!owner_.isEmpty()) append("owner;" + escaped(owner_) + '\n');
  fieldsChanged();
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
}

void RecordJournal::keepForRecovery() {
  sync();
  closeFile();
  path_.clear();
  lock_.reset();  // unlocks and removes the lock file: no running program holds it now
}

void RecordJournal::fieldsChanged() {
  if (fd_ < 0) return;
  QByteArray lines = "experiment;" + escaped(fields_.experiment()) + '\n';
  lines += "start;" + escaped(fields_.startTime()) + '\n';
  for (int c = 1; c <= kChannels; ++c) {
    lines += "channel;" + QByteArray::number(c) + (fields_.channelSelected(c) ? ";1;" : ";0;") +
             escaped(fields_.unitLabel(c)) + '\n';
    lines += "decimals;" + QByteArray::number(c) + ';' +
             QByteArray::number(store_.valueDecimals[c]) + '\n';
  }
  append(lines);
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
  if (fd_ >= 0) append(rowLine(store_.rowCount));
}

void RecordJournal::cellsEdited(const DataTable& table, int firstRow, int lastRow, int column) {
  if (fd_ < 0) return;
  QByteArray lines;
  for (int row = firstRow; row <= lastRow; ++row) {
    for (int c = 0; c < DataTable::kColumns; ++c) {
      if (column < 0 || c == column) lines += cellLine(table, row, c);
    }
  }
  append(lines);
}

void RecordJournal::restoreFrom(OrphanedJournal&& old, const DataTable& table) {
  begin();
  if (fd_ >= 0) {
    // The whole record, so that the new journal alone gives it back; cells only where the
    // table differs from what the rows give (notes, edits, dragged rows).
    QByteArray lines;
    if (cellHasText(table.cellView(DataTable::kNotesColumn, 0))) {
      lines += "note;0;" + escaped(table.cell(DataTable::kNotesColumn, 0)) + '\n';
    }
    for (int n = 1; n <= store_.rowCount; ++n) {
      lines += rowLine(n);
      for (int c = 0; c < DataTable::kColumns; ++c) {
        const QString own = c == 0 ? DataTable::timeText(store_.time[n])
                            : c == DataTable::kNotesColumn
                                ? DataTable::blank()
                                : DataTable::valueText(store_.value[c][n], store_.valueDecimals[c]);
        if (table.cellView(c, n) != own) lines += cellLine(table, n, c);
      }
    }
    append(lines);
    sync();
  }
  if (fd_ >= 0) {
    QFile::remove(old.path);  // the new journal holds the record now
    return;
  }
  // No new journal: the old one keeps the record until it is saved or given up.
  path_ = old.path;
  lock_ = std::move(old.lock);
}

void RecordJournal::noteAdded(int row, const QString& note) {
  if (fd_ < 0) return;
  append("note;" + QByteArray::number(row) + ';' + escaped(note) + '\n');
}

void RecordJournal::append(const QByteArray& bytes) {
  // Straight to the kernel: a killed program loses nothing that was written here.
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd_, bytes.constData() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      fail(written < 0 ? errno : ENOSPC);
      return;
    }
    done += written;
  }
  dirty_ = true;
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
    fail(errno);
    return;
  }
  dirty_ = false;
  lastSync_ = clock_();
}

void RecordJournal::setDiskSync(std::function<int(int)> sync, std::function<int64_t()> clock) {
  diskSync_ = std::move(sync);
  clock_ = std::move(clock);
}

void RecordJournal::fail(int errorNumber) {
  // The run goes on without the journal; what was written stays for a recovery.
  closeFile();
  if (onFailure_) onFailure_(fileErrorMessage(errorNumber));
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
