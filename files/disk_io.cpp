#include "disk_io.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <string>

int DiskIo::openFile(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

ssize_t DiskIo::writeSome(int fd, const void* data, size_t size) { return ::write(fd, data, size); }

int DiskIo::syncFile(int fd, bool dataOnly) { return dataOnly ? ::fdatasync(fd) : ::fsync(fd); }

int DiskIo::renameFile(const char* from, const char* to, unsigned flags) {
  if (flags == 0) return ::rename(from, to);
  return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
}

int DiskIo::linkFile(const char* from, const char* to) { return ::link(from, to); }

namespace {
DiskIo g_systemDisk;
DiskIo* g_disk = &g_systemDisk;
}  // namespace

DiskIo& diskIo() { return *g_disk; }

ScopedDiskIo::ScopedDiskIo(DiskIo& disk) : previous_(g_disk) { g_disk = &disk; }

ScopedDiskIo::~ScopedDiskIo() { g_disk = previous_; }

int writeAll(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t written = diskIo().writeSome(fd, data + done, size - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return written < 0 ? errno : ENOSPC;
    done += static_cast<size_t>(written);
  }
  return 0;
}

int syncFolderOf(const char* path) {
  const std::string file(path);
  const size_t slash = file.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : file.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int synced = diskIo().syncFile(fd, false);
  const int error = synced == 0 ? 0 : errno;
  ::close(fd);
  return error;
}
