#include "record_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
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
#include "numbers.h"
#include "recorder.h"

// The journal is UTF-8 text with LF line ends, one entry a line, fields separated by ";":
//   Velan recovery journal 1
//   experiment;<text>            start;<date and time>        channel;<c>;<0|1>;<unit label>
//   row;<n>;<time>;<ch1>;<ch2>;<ch3>;<ch4>   (shortest exact numbers; empty = missing)
//   note;<row>;<text>                        (a later note of the same row replaces it)
//   cell;<row>;<column>;<text>               (a cell the user typed into or dragged)
// Texts escape "\" as "\\", LF as "\n" and CR as "\r". Later header entries replace earlier ones.
// Entries are applied in order; a note or cell of a row not yet stored waits for that row.

namespace {
const QByteArray kFirstLine = "Velan recovery journal 1";
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

std::optional<QString> unescaped(QByteArrayView bytes) {
  QByteArray out;
  out.reserve(bytes.size());
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\\') {
      out += bytes[i];
      continue;
    }
    if (++i == bytes.size()) return std::nullopt;
    switch (bytes[i]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        return std::nullopt;
    }
  }
  return QString::fromUtf8(out);
}

void appendNumber(QByteArray& line, double value) {
  line += ';';
  if (isMissing(value)) return;
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);  // shortest exact form
  line.append(text, result.ptr - text);
}

std::optional<int> parseWhole(QByteArrayView text) {
  int value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> parseValue(QByteArrayView text) {
  if (text.isEmpty()) return kMissingValue;
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

// The lock of a journal, held by this program; nothing while its owner still runs. A lock is
// stale only when the program that took it no longer runs, never by its age.
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
std::vector<QByteArrayView> fieldsOf(QByteArrayView line, int count) {
  std::vector<QByteArrayView> fields;
  qsizetype start = 0;
  while (static_cast<int>(fields.size()) + 1 < count) {
    const qsizetype semicolon = line.indexOf(';', start);
    if (semicolon < 0) break;
    fields.push_back(line.sliced(start, semicolon - start));
    start = semicolon + 1;
  }
  fields.push_back(line.sliced(start));
  return fields;
}

// Rebuilds a record line by line. Rows keep their order; a row whose line was damaged is left
// out, and the rows after it move up, so entries name rows by their journal number.
class JournalReader {
 public:
  explicit JournalReader(JournalRecord& record) : record_(record) {}

  // Applies one complete line; false when it is damaged.
  bool apply(QByteArrayView line) {
    const qsizetype semicolon = line.indexOf(';');
    if (semicolon < 0) return false;
    const QByteArrayView keyword = line.first(semicolon);
    const QByteArrayView rest = line.sliced(semicolon + 1);
    if (keyword == "row") return applyRow(fieldsOf(rest, 2 + kChannels));
    if (keyword == "note") {
      const auto fields = fieldsOf(rest, 2);
      const std::optional<int> row = fields.size() == 2 ? parseWhole(fields[0]) : std::nullopt;
      const std::optional<QString> text = row ? unescaped(fields[1]) : std::nullopt;
      return text && placeText(*row, DataTable::kNotesColumn, *text);
    }
    if (keyword == "cell") {
      const auto fields = fieldsOf(rest, 3);
      const std::optional<int> row = fields.size() == 3 ? parseWhole(fields[0]) : std::nullopt;
      const std::optional<int> column = row ? parseWhole(fields[1]) : std::nullopt;
      const std::optional<QString> text = column ? unescaped(fields[2]) : std::nullopt;
      return text && *row > 0 && *column >= 0 && *column < DataTable::kColumns &&
             placeText(*row, *column, *text);
    }
    StagedRecord& staged = record_.staged;
    if (keyword == "experiment" || keyword == "start") {
      const std::optional<QString> text = unescaped(rest);
      if (!text) return false;
      (keyword == "start" ? staged.startTime : staged.experiment) = *text;
      return true;
    }
    if (keyword == "channel") {
      const auto fields = fieldsOf(rest, 3);
      const std::optional<int> channel = fields.size() == 3 ? parseWhole(fields[0]) : std::nullopt;
      const std::optional<QString> unit = channel ? unescaped(fields[2]) : std::nullopt;
      if (!unit || *channel < 1 || *channel > kChannels || fields[1].size() != 1) return false;
      staged.selected[*channel] = fields[1] == "1";
      staged.unitLabels[*channel] = *unit;
      return true;
    }
    return false;
  }

 private:
  bool applyRow(const std::vector<QByteArrayView>& fields) {
    if (fields.size() != 2 + kChannels) return false;
    const std::optional<int> row = parseWhole(fields[0]);
    // Row numbers only grow: a repeated or earlier number is a damaged line.
    if (!row || *row <= lastJournalRow_ || *row > kMaxRows) return false;
    std::array<double, kChannels + 1> values{};
    for (int i = 0; i <= kChannels; ++i) {
      const std::optional<double> value = parseValue(fields[1 + i]);
      if (!value || (i == 0 && isMissing(*value))) return false;
      values[i] = *value;
    }
    StagedRecord& staged = record_.staged;
    if (staged.rowCount == kMaxRows) return false;
    lastJournalRow_ = *row;
    journalRows_.push_back(*row);
    staged.time.push_back(values[0]);
    DataTable::Row cells;
    cells[0] = DataTable::timeText(values[0]);
    for (int c = 1; c <= kChannels; ++c) {
      staged.value[c].push_back(values[c]);
      cells[c] = DataTable::valueText(values[c]);
    }
    cells[DataTable::kNotesColumn] = DataTable::blank();
    // A note typed ahead stays (texts typed ahead into value cells are replaced by the row's,
    // as in the table); a note of a row that never came goes to the row before it.
    for (auto waiting = pending_.begin(); waiting != pending_.end() && waiting->first <= *row;
         waiting = pending_.erase(waiting)) {
      if (waiting->first == *row) {
        cells[DataTable::kNotesColumn] = waiting->second;
      } else {
        keepNoteOfLostRow(staged.rowCount, waiting->second);  // the row kept last, or the heading
      }
    }
    staged.cells.push_back(std::move(cells));
    ++staged.rowCount;
    return true;
  }

  // Puts a text into the cell of journal row `row`.
  bool placeText(int row, int column, const QString& text) {
    if (row < 0 || row > kMaxRows) return false;
    if (row == 0) {  // a note before the first row: the heading row's notes cell
      if (column != DataTable::kNotesColumn) return false;
      record_.headingNote = text;
      return true;
    }
    if (row > lastJournalRow_) {  // not stored yet: only its note outlives the row's arrival
      if (column == DataTable::kNotesColumn) pending_[row] = text;
      return true;
    }
    // The row itself, or the one before it when its line was damaged.
    const auto after = std::upper_bound(journalRows_.begin(), journalRows_.end(), row);
    const int kept = static_cast<int>(after - journalRows_.begin());  // rows up to `row`
    if (kept > 0 && journalRows_[kept - 1] == row) {
      record_.staged.cells[kept - 1][column] = text;
    } else if (column == DataTable::kNotesColumn) {
      keepNoteOfLostRow(kept, text);
    }
    return true;
  }

 public:
  // Notes of rows that never came, after the last row: they go to the last row.
  void finish() {
    for (const auto& [row, note] : pending_) keepNoteOfLostRow(record_.staged.rowCount, note);
    pending_.clear();
  }

 private:
  // Adds a note whose row was lost to row `row` (1-based; 0: the heading row), keeping what the
  // cell holds.
  void keepNoteOfLostRow(int row, const QString& note) {
    QString& cell =
        row > 0 ? record_.staged.cells[static_cast<size_t>(row - 1)][DataTable::kNotesColumn]
                : record_.headingNote.emplace(record_.headingNote.value_or(QString()));
    cell = cellHasText(cell) ? cell + QStringLiteral("  ") + note : note;
  }

  JournalRecord& record_;
  int lastJournalRow_ = 0;
  std::vector<int> journalRows_;    // the journal number of each row kept, in order
  std::map<int, QString> pending_;  // notes of rows not stored yet, by journal number
};
}  // namespace

std::optional<JournalRecord> readJournal(QIODevice& device) {
  const QByteArray bytes = device.readAll();
  qsizetype end = bytes.indexOf('\n');
  if (end < 0 || QByteArrayView(bytes).first(end) != kFirstLine) return std::nullopt;
  JournalRecord record;
  JournalReader reader(record);
  // Only complete lines count: a line without its LF was cut off by the crash, not damaged.
  for (qsizetype start = end + 1; (end = bytes.indexOf('\n', start)) >= 0; start = end + 1) {
    if (!reader.apply(QByteArrayView(bytes).sliced(start, end - start))) ++record.damagedLines;
  }
  reader.finish();
  return record;
}

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
  append(kFirstLine + '\n');
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
    if (cellHasText(table.cell(DataTable::kNotesColumn, 0))) {
      lines += "note;0;" + escaped(table.cell(DataTable::kNotesColumn, 0)) + '\n';
    }
    for (int n = 1; n <= store_.rowCount; ++n) {
      lines += rowLine(n);
      for (int c = 0; c < DataTable::kColumns; ++c) {
        const QString own = c == 0 ? DataTable::timeText(store_.time[n])
                            : c == DataTable::kNotesColumn
                                ? DataTable::blank()
                                : DataTable::valueText(store_.value[c][n]);
        if (table.cell(c, n) != own) lines += cellLine(table, n, c);
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
  std::vector<OrphanedJournal> found;
  const QFileInfoList files =
      QDir(RecordJournal::directory())
          .entryInfoList({QStringLiteral("*.journal")}, QDir::Files, QDir::Time);  // newest first
  for (const QFileInfo& file : files) {
    std::unique_ptr<QLockFile> lock = lockJournal(file.filePath());
    if (lock || noProgramHolds(file.filePath())) {
      found.push_back({file.filePath(), std::move(lock)});
    }
  }
  return found;
}
