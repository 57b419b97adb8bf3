#pragma once

#include <sys/types.h>

// The calls that put records on the disk: every write, flush, rename and link of the journal,
// the data files and the publishing backlog goes through here, so that a test can make any one
// of them fail (a full disk, a quota, a read-only remount, an I/O error) or cut the process off
// after it and see what the disk kept.
class DiskIo {
 public:
  virtual ~DiskIo() = default;
  /// As open(2).
  virtual int openFile(const char* path, int flags, mode_t mode);
  /// As write(2): may write less than asked.
  virtual ssize_t writeSome(int fd, const void* data, size_t size);
  /// Flushes a file (fdatasync(2) where `dataOnly`, else fsync(2)) or a folder's entries.
  virtual int syncFile(int fd, bool dataOnly);
  /// As renameat2(2) in the current folder, with its flags (RENAME_NOREPLACE).
  virtual int renameFile(const char* from, const char* to, unsigned flags);
  /// As link(2).
  virtual int linkFile(const char* from, const char* to);
};

/// The disk in use: the system's, or a test's.
DiskIo& diskIo();

/// Puts `disk` in place of the system's for its lifetime (tests).
class ScopedDiskIo {
 public:
  explicit ScopedDiskIo(DiskIo& disk);
  ~ScopedDiskIo();
  ScopedDiskIo(const ScopedDiskIo&) = delete;
  ScopedDiskIo& operator=(const ScopedDiskIo&) = delete;

 private:
  DiskIo* previous_;
};

/// Writes all of `size` bytes, retrying short writes and interruptions. Returns 0, or the
/// error number of the first failure (ENOSPC for a write that wrote nothing and said nothing).
int writeAll(int fd, const char* data, size_t size);

/// Flushes the entries of the folder that holds `path` (a new or renamed name in it survives a
/// power cut). Returns 0 or the error number.
int syncFolderOf(const char* path);
