// Windows' sharing rules between handles of one file, and what blocks a rename.
#include <algorithm>

#include "winsim/file_state.h"
#include "winsim/machine.h"
#include "winsim/windows.h"

namespace winsim {

DWORD FileRights(DWORD access) {
  // Generic rights mapped as the file object's generic mapping does (winnt.h FILE_GENERIC_*).
  if (access & GENERIC_READ) access |= FILE_GENERIC_READ;
  if (access & GENERIC_WRITE) access |= FILE_GENERIC_WRITE;
  if (access & GENERIC_EXECUTE) access |= FILE_GENERIC_EXECUTE;
  if (access & GENERIC_ALL) access |= FILE_ALL_ACCESS;
  return access & ~DWORD(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
}

// Only data access and DELETE take part: reading or executing needs the others to share
// reading, writing or appending to share writing, DELETE to share deletion; an open without any
// of them conflicts with nobody, whatever it shares. These are the rules of Wine's conformance
// test dlls/kernel32/tests/file.c (is_sharing_compatible, the matrix of test_file_sharing), which
// pass on Windows.
bool SharingAllows(const std::filesystem::path& host, DWORD access, DWORD share) {
  const DWORD kData = FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_EXECUTE | DELETE;
  const DWORD kAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  auto conflict = [](DWORD a, DWORD othersShare) {
    return ((a & (FILE_READ_DATA | FILE_EXECUTE)) && !(othersShare & FILE_SHARE_READ)) ||
           ((a & (FILE_WRITE_DATA | FILE_APPEND_DATA)) && !(othersShare & FILE_SHARE_WRITE)) ||
           ((a & DELETE) && !(othersShare & FILE_SHARE_DELETE));
  };
  DWORD mine = FileRights(access) & kData;
  if (!mine) return true;
  for (const OpenFile& other : M().files.open) {
    if (other.host != host) continue;
    DWORD theirs = FileRights(other.access) & kData;
    if (theirs && (conflict(mine, other.share) || conflict(theirs, share & kAll))) return false;
  }
  return true;
}

bool OpenBelow(const std::filesystem::path& folder) {
  return std::any_of(M().files.open.begin(), M().files.open.end(), [&](const OpenFile& file) {
    auto [end, rest] = std::mismatch(folder.begin(), folder.end(), file.host.begin(), file.host.end());
    return end == folder.end() && rest != file.host.end();
  });
}

void RunFileSwaps(const std::string& call) {
  for (FileSwap& swap : M().files.swaps) {
    if (!swap.outcome.empty() || swap.when != call) continue;
    HostPath file = ResolvePath(swap.path);
    const DWORD kAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    std::string folder = swap.path.substr(0, swap.path.find_last_of('\\'));
    if (!HoldOn(swap.path) && SharingAllows(file.path, GENERIC_WRITE, kAll) && WriteMachineFile(swap.path, swap.bytes))
      swap.outcome = "written";
    else if (RenameMachineFile(swap.path, swap.path + ".old", false) == ERROR_SUCCESS)
      swap.outcome = "renamed";
    else if (RenameMachineFile(folder, folder + ".old", false) == ERROR_SUCCESS)
      swap.outcome = "folder renamed";
    else
      swap.outcome = "refused";
    // What it renamed aside it replaces with its own.
    if (swap.outcome == "renamed" || swap.outcome == "folder renamed") WriteMachineFile(swap.path, swap.bytes);
  }
}

}  // namespace winsim
