#include "message_backlog.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>

namespace {
constexpr int64_t kReadChunk = 64 * 1024;
// The first byte of a row that went out says how.
constexpr char kSentOnTime = 'o';
constexpr char kSentLate = 'l';

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }
}  // namespace

MessageBacklog::MessageBacklog(const QString& folder) {
  QDir().mkpath(folder);
  const QByteArray path = QFile::encodeName(folder);
  fd_ = ::open(path.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd_ < 0) {  // a file system without unnamed files: a named one, unlinked at once
    QByteArray name = QFile::encodeName(QDir(folder).filePath(QStringLiteral(".velan-XXXXXX")));
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ >= 0) ::unlink(name.constData());
  }
  if (fd_ < 0) failure_ = QStringLiteral("%1: %2").arg(folder, systemError());
}

MessageBacklog::~MessageBacklog() {
  if (fd_ >= 0) ::close(fd_);
}

bool MessageBacklog::append(Kind kind, int64_t storedAtMs, const QString& topic,
                            const QByteArray& payload) {
  if (fd_ < 0) return false;
  const QByteArray line = static_cast<char>(kind) + QByteArray::number(storedAtMs) + '\t' +
                          topic.toUtf8() + '\t' + payload + '\n';
  const std::lock_guard lock(mutex_);
  int64_t done = 0;
  while (done < line.size()) {
    const ssize_t wrote =
        ::pwrite(fd_, line.constData() + done, static_cast<size_t>(line.size() - done),
                 static_cast<off_t>(written_ - base_ + done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;  // the part written is overwritten by the next append
    done += wrote;
  }
  written_ += line.size();
  if (kind == Kind::Row) ++rowsAppended_;
  return true;
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
