#include "record_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <charconv>

#include "file_errors.h"
#include "numbers.h"

// The journal is UTF-8 text with LF line ends, one entry a line, fields separated by ";":
//   Velan recovery journal 1
//   experiment;<text>            start;<date and time>        channel;<c>;<0|1>;<unit label>
//   row;<n>;<time>;<ch1>;<ch2>;<ch3>;<ch4>   (shortest exact numbers; empty = missing)
//   note;<row>;<text>                        (a later note of the same row replaces it)
// Texts escape "\" as "\\", LF as "\n" and CR as "\r". Later header entries replace earlier ones.

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
std::unique_ptr<QLockFile> lockJournal(const QString& path) {
  auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
  lock->setStaleLockTime(0);
  if (!lock->tryLock(0)) return nullptr;
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

// Applies one complete journal line; false when it is damaged.
bool applyLine(QByteArrayView line, JournalRecord& record,
               std::vector<std::optional<QString>>& notes) {
  StagedRecord& staged = record.staged;
  const qsizetype semicolon = line.indexOf(';');
  if (semicolon < 0) return false;
  const QByteArrayView keyword = line.first(semicolon);
  const QByteArrayView rest = line.sliced(semicolon + 1);
  if (keyword == "row") {
    const auto fields = fieldsOf(rest, 2 + kChannels);
    if (fields.size() != 2 + kChannels) return false;
    const std::optional<int> row = parseWhole(fields[0]);
    if (!row || *row != staged.rowCount + 1 || *row > kMaxRows) return false;
    std::array<double, kChannels + 1> values{};
    for (int i = 0; i <= kChannels; ++i) {
      const std::optional<double> value = parseValue(fields[1 + i]);
      if (!value || (i == 0 && isMissing(*value))) return false;
      values[i] = *value;
    }
    staged.rowCount = *row;
    staged.time.push_back(values[0]);
    std::array<QString, DataTable::kColumns> cells;
    cells[0] = formatCell(values[0], 5, 1);
    for (int c = 1; c <= kChannels; ++c) {
      staged.value[c].push_back(values[c]);
      cells[c] = isMissing(values[c]) ? DataTable::blank() : formatCell(values[c], 6, 2);
    }
    cells[DataTable::kNotesColumn] = DataTable::blank();
    staged.cells.push_back(std::move(cells));
    return true;
  }
  if (keyword == "note") {
    const auto fields = fieldsOf(rest, 2);
    const std::optional<int> row = fields.size() == 2 ? parseWhole(fields[0]) : std::nullopt;
    const std::optional<QString> text = row ? unescaped(fields[1]) : std::nullopt;
    if (!text || *row < 0 || *row > kMaxRows) return false;
    if (notes.size() <= static_cast<size_t>(*row)) notes.resize(static_cast<size_t>(*row) + 1);
    notes[static_cast<size_t>(*row)] = *text;
    return true;
  }
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
}  // namespace

std::optional<JournalRecord> readJournal(QIODevice& device) {
  const QByteArray bytes = device.readAll();
  qsizetype end = bytes.indexOf('\n');
  if (end < 0 || QByteArrayView(bytes).first(end) != kFirstLine) return std::nullopt;
  JournalRecord record;
  std::vector<std::optional<QString>> notes;
  // Only complete lines count: a line without its LF was cut off by the crash.
  for (qsizetype start = end + 1; (end = bytes.indexOf('\n', start)) >= 0; start = end + 1) {
    if (!applyLine(QByteArrayView(bytes).sliced(start, end - start), record, notes)) break;
  }
  StagedRecord& staged = record.staged;
  for (size_t row = 0; row < notes.size(); ++row) {
    if (!notes[row]) continue;
    if (row == 0) {
      record.headingNote = notes[row];
    } else if (row <= static_cast<size_t>(staged.rowCount)) {
      staged.cells[row - 1][DataTable::kNotesColumn] = *notes[row];
    }
  }
  return record;
}

RecordJournal::RecordJournal(const RecordStore& store, const RecordFields& fields)
    : store_(store), fields_(fields) {
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
  failed_ = false;
  const QString folder = directory();
  if (!QDir().mkpath(folder)) {
    fail(EACCES);
    return;
  }
  const QString name =
      QStringLiteral("%1/%2-%3.journal")
          .arg(folder, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
          .arg(QCoreApplication::applicationPid());
  std::unique_ptr<QLockFile> lock = lockJournal(name);
  if (!lock) {
    fail(EACCES);
    return;
  }
  fd_ = ::open(QFile::encodeName(name).constData(),
               O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    fail(errno);
    return;
  }
  path_ = name;
  lock_ = std::move(lock);
  append(kFirstLine + '\n');
  fieldsChanged();
}

void RecordJournal::adopt(const QString& path, std::unique_ptr<QLockFile> lock) {
  discard();
  failed_ = false;
  path_ = path;
  lock_ = std::move(lock);
  fd_ = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd_ < 0) fail(errno);
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

void RecordJournal::rowStored() {
  if (fd_ < 0) return;
  const int n = store_.rowCount;
  QByteArray line = "row;" + QByteArray::number(n);
  line.reserve(128);
  appendNumber(line, store_.time[n]);
  for (int c = 1; c <= kChannels; ++c) appendNumber(line, store_.value[c][n]);
  line += '\n';
  append(line);
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
  if (!sinceSync_.isValid() || sinceSync_.elapsed() >= kSyncIntervalMs) {
    sync();
  } else if (!syncTimer_.isActive()) {
    syncTimer_.start();
  }
}

void RecordJournal::sync() {
  if (fd_ < 0 || !dirty_) return;
  if (::fdatasync(fd_) != 0) {
    fail(errno);
    return;
  }
  dirty_ = false;
  sinceSync_.start();
}

void RecordJournal::fail(int errorNumber) {
  // The run goes on without the journal; what was written stays for a recovery.
  closeFile();
  if (failed_) return;
  failed_ = true;
  if (onFailure_) onFailure_(fileErrorMessage(errorNumber));
}

std::vector<OrphanedJournal> findOrphanedJournals() {
  std::vector<OrphanedJournal> found;
  const QFileInfoList files =
      QDir(RecordJournal::directory())
          .entryInfoList({QStringLiteral("*.journal")}, QDir::Files, QDir::Time);  // newest first
  for (const QFileInfo& file : files) {
    std::unique_ptr<QLockFile> lock = lockJournal(file.filePath());
    if (lock) found.push_back({file.filePath(), std::move(lock)});  // else its program runs
  }
  return found;
}
