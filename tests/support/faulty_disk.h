#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDirIterator>
#include <QFile>
#include <cerrno>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "disk_io.h"

/// A disk that fails when a test says so, and can be cut off like a machine losing power.
/// Calls go to the real file system, numbered as they come; a fault makes the calls of its
/// kinds from a call's number on fail with its error number, until room comes back after a
/// time on the test's clock.
/// A failing write may first write part of its bytes, as a disk filling up does. From the
/// crash's number on, nothing reaches the disk any more; crash() then cuts every file this disk
/// wrote back to what was flushed (names are taken as reaching the disk at once).
class FaultyDisk : public DiskIo {
 public:
  enum Kind : unsigned { Open = 1, Write = 2, Sync = 4, Rename = 8, Link = 16, Any = 31 };
  struct Fault {
    int from = 0;          ///< the call it begins at
    int64_t lastsMs = -1;  ///< room comes back after this long on the clock; -1: never
    int error = ENOSPC;
    unsigned kinds = Any;
    std::optional<int64_t> began;
    bool over(int64_t now) const { return began && lastsMs >= 0 && now - *began >= lastsMs; }
  };
  std::vector<Fault> faults;
  std::function<int64_t()> clock = [] { return int64_t(0); };  ///< milliseconds
  int crashAt = -1;  ///< the first call that no longer reaches the disk; -1: none
  int calls = 0;

  int openFile(const char* path, int flags, mode_t mode) override {
    // A full disk still opens an existing file: only a new one needs room.
    const int error = failure(Open);
    if (error != 0 && ((flags & O_CREAT) || (error != ENOSPC && error != EDQUOT))) {
      return errno = error, -1;
    }
    const int fd = ::open(path, flags, mode);
    if (fd >= 0 && (flags & (O_CREAT | O_TRUNC))) {
      struct stat info {};
      if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) flushed_[info.st_ino] = 0;
    }
    return fd;
  }
  ssize_t writeSome(int fd, const void* data, size_t size) override {
    if (const int error = failure(Write)) {
      // A disk filling up takes the first bytes of a write, then none.
      if (error == ENOSPC && size > 1 && !partWritten_) {
        partWritten_ = true;
        return ::write(fd, data, size / 2);
      }
      return errno = error, -1;
    }
    partWritten_ = false;
    return ::write(fd, data, size);
  }
  int syncFile(int fd, bool) override {
    if (const int error = failure(Sync)) return errno = error, -1;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) flushed_[info.st_ino] = info.st_size;
    return 0;  // the real flush would only cost time
  }
  int renameFile(const char* from, const char* to, unsigned flags) override {
    if (const int error = failure(Rename)) return errno = error, -1;
    return DiskIo::renameFile(from, to, flags);
  }
  int linkFile(const char* from, const char* to) override {
    if (const int error = failure(Link)) return errno = error, -1;
    return DiskIo::linkFile(from, to);
  }
  int truncateFile(int fd, off_t size) override {
    if (const int error = failure(Write)) return errno = error, -1;
    return DiskIo::truncateFile(fd, size);
  }

  /// The power cut: every file under `folder` that this disk wrote keeps what was flushed.
  void crash(const QString& folder) {
    QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
      const QByteArray path = QFile::encodeName(files.next());
      struct stat info {};
      if (::stat(path.constData(), &info) != 0) continue;
      const auto flushed = flushed_.find(info.st_ino);
      if (flushed != flushed_.end() && flushed->second < info.st_size) {
        if (::truncate(path.constData(), flushed->second) != 0) continue;
      }
    }
  }

 private:
  int failure(Kind kind) {
    const int call = calls++;
    if (crashAt >= 0 && call >= crashAt) return EIO;  // nothing reaches the disk any more
    const int64_t now = clock();
    for (Fault& fault : faults) {
      if (call >= fault.from && !fault.began) fault.began = now;
      if (fault.began && !fault.over(now) && (fault.kinds & kind)) return fault.error;
    }
    return 0;
  }
  std::map<ino_t, off_t> flushed_;
  bool partWritten_ = false;
};
