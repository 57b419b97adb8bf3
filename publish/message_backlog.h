#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

/// The messages waiting for the broker, in a file of the process's own (locked while it runs),
/// so that a day away costs disk, not memory, and a crash or power cut loses none: the next
/// start takes over what an ended process left unconfirmed and sends it first, as it was. One
/// writer (the recording thread) appends; one reader (the sender's thread) reads from its
/// position and confirms what the broker took.
class MessageBacklog {
 public:
  enum class Kind : char { Row = 'r', Note = 'n', Value = 'v' };
  struct Message {
    Kind kind = Kind::Row;
    int64_t storedAtMs = 0;  ///< when it was stored (ms since the epoch)
    QString topic;           ///< the whole topic
    QByteArray payload;
    int64_t start = 0;
    int64_t end = 0;  ///< the backlog position after it
    /// A row sent before (its broker's answer lost): whether it went late, so that a copy sent
    /// again is the same message.
    std::optional<bool> sentLate;
  };

  /// In `folder`; failure() says why when no file can be made there. What backlogs of ended
  /// processes hold there unconfirmed is taken over first, in their order. `clockMs` times the
  /// flushes (a test's own, else the system's).
  explicit MessageBacklog(const QString& folder, std::function<int64_t()> clockMs = {});
  /// The file goes when nothing in it waits; else it stays for the next start.
  ~MessageBacklog();
  MessageBacklog(const MessageBacklog&) = delete;
  MessageBacklog& operator=(const MessageBacklog&) = delete;

  bool ok() const { return fd_ >= 0; }
  QString failure() const { return failure_; }
  /// Rows an ended process left unconfirmed, taken over at the start.
  int64_t rowsTakenOver() const { return rowsTakenOver_; }

  /// Appends one message (the recording thread). False when the disk refused it: it waits in
  /// memory, before every later message, until the disk takes it.
  bool append(Kind kind, int64_t storedAtMs, const QString& topic, const QByteArray& payload);
  /// Puts what waits in memory on the disk and flushes the file (the recording thread); false
  /// when some of it may not be on the disk.
  bool sync();

  /// The next message from `position`, nothing when none is complete yet (the sender's thread).
  std::optional<Message> read(int64_t position);
  /// The row at `start` went out, late or not: told again the same way.
  void markSent(int64_t start, bool late);
  /// The message at `start` reached the broker: no later start sends it again.
  void markDone(int64_t start);
  /// Everything before `position` reached the broker, `rows` rows among it: the file is emptied
  /// once all has.
  void confirm(int64_t position, int64_t rows);
  /// Whether messages wait from `position` on.
  bool waitingFrom(int64_t position) const {
    const std::lock_guard lock(mutex_);
    return written_ > position;
  }
  /// Where reading goes on after a lost connection: the first message not confirmed.
  int64_t confirmed() const;

  /// Rows appended and not yet confirmed, those waiting in memory included.
  int64_t rowsWaiting() const { return rowsAppended_ - rowsConfirmed_; }
  /// Rows the disk refused so far that still wait in memory.
  int64_t rowsInMemory() const { return rowsInMemory_; }

 private:
  bool openFile();
  bool writeHeld();
  void takeOver(const QString& path);

  QString folder_;
  std::function<int64_t()> clockMs_;
  QString path_;
  int fd_ = -1;
  QString failure_;
  int64_t rowsTakenOver_ = 0;
  mutable std::mutex mutex_;
  int64_t written_ = 0;    ///< guarded by mutex_
  int64_t confirmed_ = 0;  ///< guarded by mutex_
  /// The file's positions start over when it is emptied: positions read before are void.
  int64_t base_ = 0;  ///< guarded by mutex_
  std::atomic<int64_t> rowsAppended_ = 0;
  std::atomic<int64_t> rowsConfirmed_ = 0;
  // The recording thread's own.
  QByteArray held_;  ///< lines the disk refused, in order
  std::atomic<int64_t> rowsInMemory_ = 0;
  bool dirty_ = false;
  std::optional<int64_t> lastSync_;
  // The sender's own.
  QByteArray readBuffer_;
  int64_t readBufferAt_ = -1;
};
