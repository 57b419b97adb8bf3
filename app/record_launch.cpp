#include "record_launch.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "record_exit.h"

int launchRecorder(int argc, char* argv[]) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path folder = fs::read_symlink("/proc/self/exe", error).parent_path();
  const fs::path candidates[] = {folder / "velan-record",
                                 folder / VELAN_RECORDER_FROM_BINDIR / "velan-record"};
  std::vector<char*> arguments;
  arguments.push_back(nullptr);                                 // the recorder's own path, below
  for (int i = 2; i < argc; ++i) arguments.push_back(argv[i]);  // after "record"
  arguments.push_back(nullptr);
  int lastError = ENOENT;
  for (const fs::path& candidate : candidates) {
    std::string path = candidate.lexically_normal().string();
    arguments.front() = path.data();
    ::execv(path.c_str(), arguments.data());
    if (errno != ENOENT) lastError = errno;
  }
  std::fprintf(stderr, "velan: cannot start the recorder %s: %s\n",
               candidates[1].lexically_normal().c_str(), std::strerror(lastError));
  return kRecordRecorderMissing;
}
