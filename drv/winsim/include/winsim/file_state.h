// The machine's files: Windows paths resolved into the machine's host directory, and holds that
// other programs keep on files.
#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "winsim/file_security.h"
#include "winsim/win_types.h"

namespace winsim {

// Another program keeps `path` open (the spooler with a loaded DLL, a running process) until it
// lets go: at `untilMs` of simulated time, or when `owner` releases it. Opening the file for
// writing fails with ERROR_SHARING_VIOLATION; deleting it fails with `deleteError`
// (ERROR_ACCESS_DENIED for a loaded image, ERROR_SHARING_VIOLATION for an open data file).
struct FileHold {
  std::string path;
  std::string owner;
  uint64_t untilMs = UINT64_MAX;
  DWORD deleteError = 5;
};

// The host's descriptor of a file a handle has open, closed with the last copy of the handle's
// record: each read and write is one host call, and a write is on the host disk at once.
struct HostFile {
  int fd = -1;
  explicit HostFile(int descriptor) : fd(descriptor) {}
  HostFile(const HostFile&) = delete;
  HostFile& operator=(const HostFile&) = delete;
  ~HostFile();
};

// A file handle the running program holds. Handles end with the program, so they are not saved.
struct OpenFile {
  uint64_t handle = 0;
  std::string path;              // as the program named it
  std::filesystem::path host;
  DWORD access = 0;              // as asked: generic or specific rights
  DWORD share = 0;               // FILE_SHARE_* granted to later opens
  uint64_t position = 0;
  std::shared_ptr<HostFile> file;
  // The file's size as its handles have made it (every handle on the file keeps it current).
  uint64_t size = 0;
};

// A directory junction: the folder `path` is a reparse point that sends every name below it to
// `target`, as a mount-point reparse point does. Both are full Win32 paths ("C:\\dir").
struct Junction {
  std::string path;
  std::string target;
};

// Another program that replaces a file at a moment it learns of (an oplock breaking, a change
// notification): when the running program first makes the call `when`, it tries to write
// `bytes` over `path`; refused, it tries to rename the file aside, then its folder. `outcome`
// says what happened: "" before, "written", "renamed", "folder renamed", or "refused".
struct FileSwap {
  std::string path;
  std::string when;
  std::string bytes;
  std::string outcome;
};

struct FileState {
  std::string currentDir = "C:\\Windows\\system32";
  std::vector<FileHold> holds;
  std::vector<Junction> junctions;
  std::vector<OpenFile> open;
  std::vector<PathSecurity> security;  // owners and DACLs set on paths (file_security.h)
  std::vector<FileSwap> swaps;
  // Bytes the disk has left for files to grow into; a write past it is cut short with
  // ERROR_DISK_FULL. Deleting files gives nothing back: set it just before the write to fail.
  uint64_t freeBytes = UINT64_MAX;
  // Simulated time every CreateFileW takes (a slow or busy disk).
  uint32_t openLatencyMs = 0;
};

// Where a Windows path lives on the host. Each existing component is matched without regard to
// letter case, as NTFS does; missing components keep the caller's spelling.
struct HostPath {
  std::filesystem::path path;
  DWORD error = 0;           // ERROR_INVALID_NAME for a name Windows would refuse
  bool parentExists = false;  // the directory that would hold the last component is there
  bool junction = false;      // the last component is itself a junction (followed in `path`)
};
HostPath ResolvePath(const std::string& windowsPath);
// The error Windows gives for a path that cannot name a new file here, or 0.
DWORD PathError(const HostPath& path);
// Resolves a path that must exist (file or directory): 0, or the error Windows gives.
DWORD LocateExisting(const std::string& windowsPath, HostPath* found);
// The full Win32 form of a path ("C:\dir\name"): relative names taken against the current
// directory, "." and ".." folded, trailing dots and spaces dropped. Empty, with `*error` set, for
// a name Windows would refuse.
std::string FullWindowsPath(const std::string& windowsPath, DWORD* error);

// Makes the folder `path` (absent, or an empty directory) a junction to the folder `target`:
// "" when done, else what is wrong.
std::string MakeJunction(const std::string& path, const std::string& target);

// For tests and the default machine: whole files by their Windows path.
bool WriteMachineFile(const std::string& windowsPath, const std::string& bytes);
bool ReadMachineFile(const std::string& windowsPath, std::string* bytes);
bool MachineFileExists(const std::string& windowsPath);

// FILE_ATTRIBUTE_READONLY, the one attribute kept, lives on the host disk as a file without its
// owner's write permission: it goes where the file goes (renames, copies of the machine).
bool IsReadOnly(const std::filesystem::path& host);
bool SetReadOnly(const std::filesystem::path& host, bool readOnly);

// `access` with its generic rights mapped to the specific rights of files.
DWORD FileRights(DWORD access);
// Whether a new open of `host` for `access` that lets others share `share` agrees with every
// handle already open on it, as Windows' sharing rules decide.
bool SharingAllows(const std::filesystem::path& host, DWORD access, DWORD share);
// Whether a handle is open on something below the folder `host` (which then cannot be renamed).
bool OpenBelow(const std::filesystem::path& folder);

// Renames a file at once, as a rename on the same volume does: ERROR_SUCCESS or the error.
DWORD RenameMachineFile(const std::string& from, const std::string& to, bool replace);

// Where Windows queues the file operations of the next boot: (source, target) pairs of NT paths
// ("\??\C:\..."), an empty target for a deletion, "!" before a target that may be replaced.
constexpr const char* kSessionManagerKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kPendingRenamesValue = "PendingFileRenameOperations";

// Queues the deletion of a file (full Windows path) for the next boot, as
// MoveFileExW(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT) does.
void QueueDeletionAtBoot(const std::string& windowsPath);

// Carries out the swaps waiting for `call`, as the other program would, through the sharing
// rules the running program's handles set.
void RunFileSwaps(const std::string& call);

void HoldFile(const std::string& windowsPath, const std::string& owner,
              uint64_t untilMs = UINT64_MAX, DWORD deleteError = 5);
void ReleaseHolds(const std::string& owner);
// The hold in force on a path now, or null.
const FileHold* HoldOn(const std::string& windowsPath);

}  // namespace winsim
