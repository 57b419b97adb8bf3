#include "message_backlog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "disk_io.h"

namespace {
constexpr int64_t kReadChunk = 64 * 1024;
// The first byte of a row that went out says how; that of a message the broker took says so.
constexpr char kSentOnTime = 'o';
constexpr char kSentLate = 'l';
constexpr char kDone = 'x';
// As the journal: a power cut loses about the last second at most.
constexpr int64_t kSyncIntervalMs = 1000;

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool isRow(char mark) {
  return mark == static_cast<char>(MessageBacklog::Kind::Row) || mark == kSentOnTime ||
         mark == kSentLate;
}
}  // namespace

MessageBacklog::MessageBacklog(const QString& folder, std::function<int64_t()> clockMs)
    : folder_(folder), clockMs_(std::move(clockMs)) {
  if (!clockMs_) {
    clockMs_ = [] {
      return std::chrono::duration_cast<std::chrono::milliseconds>(
                 std::chrono::steady_clock::now().time_since_epoch())
          .count();
    };
  }
  QDir().mkpath(folder);
  // Those an ended process left: what they hold goes out before anything new.
  const QStringList left =
      QDir(folder).entryList({QStringLiteral("*.backlog")}, QDir::Files, QDir::Name);
  if (!openFile()) return;
  for (const QString& name : left) takeOver(QDir(folder).filePath(name));
}

MessageBacklog::~MessageBacklog() {
  if (fd_ < 0) return;
  sync();
  bool allConfirmed = false;
  {
    const std::lock_guard lock(mutex_);
    allConfirmed = confirmed_ == written_ && held_.isEmpty();
  }
  if (allConfirmed) ::unlink(QFile::encodeName(path_).constData());
  ::close(fd_);
}

bool MessageBacklog::openFile() {
  static std::atomic<int> made = 0;
  // Named by when it was made, so that the next start takes over older ones first.
  path_ =
      QDir(folder_).filePath(QStringLiteral("%1-%2-%3.backlog")
                                 .arg(QDateTime::currentMSecsSinceEpoch(), 13, 10, QLatin1Char('0'))
                                 .arg(::getpid())
                                 .arg(made++));
  const QByteArray path = QFile::encodeName(path_);
  fd_ = diskIo().openFile(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    failure_ = QStringLiteral("%1: %2").arg(folder_, systemError());
    return false;
  }
  // Held while this process lives: a start beside it never takes it over.
  ::flock(fd_, LOCK_EX | LOCK_NB);
  failure_.clear();
  return true;
}

void MessageBacklog::takeOver(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {  // a running process's
    ::close(fd);
    return;
  }
  QByteArray pending;
  bool kept = true;
  int64_t rows = 0;
  std::vector<char> chunk(kReadChunk);
  ssize_t got = 0;
  while (kept && (got = ::read(fd, chunk.data(), chunk.size())) > 0) {
    pending.append(chunk.data(), got);
    qsizetype from = 0;
    for (qsizetype newline = 0; (newline = pending.indexOf('\n', from)) >= 0; from = newline + 1) {
      const char mark = pending.at(from);
      // Confirmed ones are done; an old live value is never sent as the latest.
      if (mark == kDone || mark == static_cast<char>(Kind::Value)) continue;
      held_.append(pending.constData() + from, newline + 1 - from);
      // A row never sent is late whenever it goes now; one sent before goes as it went.
      if (mark == static_cast<char>(Kind::Row))
        held_[held_.size() - (newline + 1 - from)] = kSentLate;
      if (isRow(mark)) ++rows;
    }
    pending.remove(0, from);  // a line cut by a crash is never complete: left out
    rowsAppended_ += rows;
    rowsInMemory_ += rows;
    rowsTakenOver_ += rows;
    rows = 0;
    kept = writeHeld();
  }
  // Gone only once its messages are on the disk here: a power cut never finds neither.
  if (kept && got == 0 && sync()) ::unlink(name.constData());
  ::close(fd);
}

bool MessageBacklog::append(Kind kind, int64_t storedAtMs, const QString& topic,
                            const QByteArray& payload) {
  held_ += static_cast<char>(kind) + QByteArray::number(storedAtMs) + '\t' + topic.toUtf8() + '\t' +
           payload + '\n';
  if (kind == Kind::Row) {
    ++rowsAppended_;
    ++rowsInMemory_;
  }
  if (!writeHeld()) return false;
  if (!lastSync_ || clockMs_() - *lastSync_ >= kSyncIntervalMs) sync();
  return true;
}

bool MessageBacklog::writeHeld() {
  if (held_.isEmpty()) return true;
  if (fd_ < 0 && !openFile()) return false;
  const std::lock_guard lock(mutex_);
  // Where the last write failed: what it left there is written over.
  if (::lseek(fd_, static_cast<off_t>(written_ - base_), SEEK_SET) < 0 ||
      writeAll(fd_, held_.constData(), static_cast<size_t>(held_.size())) != 0) {
    return false;
  }
  written_ += held_.size();
  held_.clear();
  rowsInMemory_ = 0;
  dirty_ = true;
  return true;
}

bool MessageBacklog::sync() {
  const bool written = writeHeld();
  if (fd_ < 0 || !dirty_) return written && fd_ >= 0;
  // A failed flush loses nothing the journal and the parts do not hold: the rows go on.
  const bool flushed = diskIo().syncFile(fd_, true) == 0;
  dirty_ = false;
  lastSync_ = clockMs_();
  return written && flushed;
}

std::optional<MessageBacklog::Message> MessageBacklog::read(int64_t position) {
  int64_t written = 0;
  int64_t base = 0;
  {
    const std::lock_guard lock(mutex_);
    written = written_;
    base = base_;
  }
  if (position >= written || position < base) return std::nullopt;
  qsizetype newline = -1;
  if (readBufferAt_ >= 0 && position >= readBufferAt_ &&
      position < readBufferAt_ + readBuffer_.size()) {
    newline = readBuffer_.indexOf('\n', position - readBufferAt_);
  }
  if (newline < 0) {  // read on from `position`, as far as needed for a whole line
    readBuffer_.resize(0);
    readBufferAt_ = position;
    while (newline < 0 && readBufferAt_ + readBuffer_.size() < written) {
      const int64_t from = readBufferAt_ + readBuffer_.size();
      const int64_t want = std::min(kReadChunk, written - from);
      const qsizetype old = readBuffer_.size();
      readBuffer_.resize(old + want);
      const ssize_t got = ::pread(fd_, readBuffer_.data() + old, static_cast<size_t>(want),
                                  static_cast<off_t>(from - base));
      if (got <= 0) {
        readBuffer_.resize(old);
        return std::nullopt;
      }
      readBuffer_.resize(old + got);
      newline = readBuffer_.indexOf('\n', old);
    }
    if (newline < 0) return std::nullopt;
  }
  const qsizetype start = position - readBufferAt_;
  const QByteArray line = readBuffer_.mid(start, newline - start);
  const qsizetype firstTab = line.indexOf('\t');
  const qsizetype secondTab = line.indexOf('\t', firstTab + 1);
  Message message;
  message.kind = static_cast<Kind>(line.at(0));
  if (line.at(0) == kSentOnTime || line.at(0) == kSentLate) {
    message.kind = Kind::Row;
    message.sentLate = line.at(0) == kSentLate;
  }
  message.start = position;
  message.storedAtMs = line.mid(1, firstTab - 1).toLongLong();
  message.topic = QString::fromUtf8(line.mid(firstTab + 1, secondTab - firstTab - 1));
  message.payload = line.mid(secondTab + 1);
  message.end = position + line.size() + 1;
  return message;
}

void MessageBacklog::markSent(int64_t start, bool late) {
  const char mark = late ? kSentLate : kSentOnTime;
  int64_t base = 0;
  {
    const std::lock_guard lock(mutex_);
    base = base_;
  }
  if (::pwrite(fd_, &mark, 1, static_cast<off_t>(start - base)) == 1 && readBufferAt_ >= 0 &&
      start >= readBufferAt_ && start < readBufferAt_ + readBuffer_.size()) {
    readBuffer_[static_cast<qsizetype>(start - readBufferAt_)] = mark;
  }
}

void MessageBacklog::markDone(int64_t start) {
  int64_t base = 0;
  {
    const std::lock_guard lock(mutex_);
    base = base_;
  }
  if (start < base) return;
  // Not flushed: lost with a power cut, it costs a copy sent again, identical.
  [[maybe_unused]] const ssize_t wrote = ::pwrite(fd_, &kDone, 1, static_cast<off_t>(start - base));
}

void MessageBacklog::confirm(int64_t position, int64_t rows) {
  rowsConfirmed_ += rows;
  const std::lock_guard lock(mutex_);
  confirmed_ = std::max(confirmed_, position);
  if (confirmed_ == written_ && written_ > base_) {
    // All reached the broker: the file starts over and gives its room back.
    if (::ftruncate(fd_, 0) == 0) {
      base_ = written_;
      readBufferAt_ = -1;
    }
  }
}

int64_t MessageBacklog::confirmed() const {
  const std::lock_guard lock(mutex_);
  return confirmed_;
}
