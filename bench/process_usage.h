// What a benchmark watches stay flat over a long run: this process's open
// file descriptors and resident memory, read from /proc.
#pragma once

#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace nimbrel::bench {

inline long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

inline int OpenDescriptors() {
  int count = 0;
  if (DIR* fds = ::opendir("/proc/self/fd")) {
    while (dirent* entry = ::readdir(fds))
      if (entry->d_name[0] != '.') ++count;
    ::closedir(fds);
  }
  return count - 1;  // the directory stream's own
}

}  // namespace nimbrel::bench
