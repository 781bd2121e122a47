// The machine directory of a program run from the shell: taken for the run, loaded, saved.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "winsim/host.h"

namespace winsim {

namespace {

bool Report(const std::string& problem) {
  std::fprintf(stderr, "winsim: %s\n", problem.c_str());
  return false;
}

}  // namespace

// The lock lives as long as this process: the descriptor is never closed.
bool LockMachineDirectory(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return Report(dir + ": cannot be made a machine directory (" + ec.message() + ")");
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Report(dir + ": expected a directory (" + std::strerror(errno) + ")");
  int result;
  do {
    result = flock(fd, LOCK_EX);
  } while (result != 0 && errno == EINTR);
  if (result != 0) return Report(dir + ": cannot be locked (" + std::strerror(errno) + ")");
  return true;
}

std::string MachineDirectory() {
  const char* dir = std::getenv("WINSIM_MACHINE");
  return dir && *dir ? dir : "machine";
}

bool OpenMachineDirectory(const std::string& dir) {
  if (!LockMachineDirectory(dir)) return false;
  std::string problem;
  if (LoadMachine(dir, &problem)) return true;
  if (!problem.empty()) return Report(problem);
  ResetMachine(dir);
  return true;
}

bool SaveMachineDirectory(const std::string& dir) {
  std::string problem;
  return SaveMachine(dir, &problem) || Report(problem);
}

}  // namespace winsim
