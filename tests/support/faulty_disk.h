#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDirIterator>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "disk_io.h"

/// A disk that fails when a test says so, and loses power. Calls go to the real file system,
/// numbered as they come. A fault fails the calls of its kinds from a call's number on, until
/// room comes back after a time on the test's clock; a full disk still opens an existing file,
/// and takes half of the first write that fails. From `crashAt` on nothing reaches the disk;
/// crash() then cuts every file it wrote back to what was flushed (names count at once).
class FaultyDisk : public DiskIo {
 public:
  enum Kind : unsigned { Open = 1, Write = 2, Sync = 4, Rename = 8, Any = 15 };
  struct Fault {
    int from = 0;
    int64_t lastsMs = -1;  ///< -1: for good
    int error = ENOSPC;
    unsigned kinds = Any;
    std::optional<int64_t> began;
    bool over(int64_t now) const { return began && lastsMs >= 0 && now - *began >= lastsMs; }
  };
  std::vector<Fault> faults;
  std::function<int64_t()> clock;  ///< milliseconds
  int crashAt = -1;
  int calls = 0;

  int openFile(const char* path, int flags, mode_t mode) override {
    const int error = failure(Open);
    const bool needsRoom = (flags & O_CREAT) || (error != ENOSPC && error != EDQUOT);
    if (error != 0 && needsRoom) return errno = error, -1;
    const int fd = ::open(path, flags, mode);
    if (fd >= 0) flushed_[inode(fd)] = 0;
    return fd;
  }
  ssize_t writeSome(int fd, const void* data, size_t size) override {
    const int error = failure(Write);
    if (error == 0 || (error == ENOSPC && size > 1 && !std::exchange(halfWritten_, true))) {
      if (error == 0) halfWritten_ = false;
      return ::write(fd, data, error == 0 ? size : size / 2);
    }
    return errno = error, -1;
  }
  int syncFile(int fd, bool) override {
    if (const int error = failure(Sync)) return errno = error, -1;
    struct stat info {};
    if (::fstat(fd, &info) == 0) flushed_[info.st_ino] = info.st_size;
    return 0;  // the real flush would only cost time
  }
  int renameFile(const char* from, const char* to, unsigned flags) override {
    if (const int error = failure(Rename)) return errno = error, -1;
    return DiskIo::renameFile(from, to, flags);
  }
  void crash(const QString& folder) {
    QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
      const QByteArray path = QFile::encodeName(files.next());
      struct stat info {};
      const auto flushed =
          ::stat(path.constData(), &info) == 0 ? flushed_.find(info.st_ino) : flushed_.end();
      if (flushed != flushed_.end() && flushed->second < info.st_size &&
          ::truncate(path.constData(), flushed->second) != 0) {
        std::perror(path.constData());
      }
    }
  }

 private:
  static ino_t inode(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? info.st_ino : 0;
  }
  int failure(Kind kind) {
    const int call = calls++;
    if (crashAt >= 0 && call >= crashAt) return EIO;
    const int64_t now = clock ? clock() : 0;
    for (Fault& fault : faults) {
      if (call >= fault.from && !fault.began) fault.began = now;
      if (fault.began && !fault.over(now) && (fault.kinds & kind)) return fault.error;
    }
    return 0;
  }
  std::map<ino_t, off_t> flushed_;
  bool halfWritten_ = false;
};
