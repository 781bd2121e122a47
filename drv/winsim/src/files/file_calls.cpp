// kernel32: the file calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "winsim/file_state.h"
#include "winsim/machine.h"
#include "winsim/security.h"
#include "winsim/windows.h"

using namespace winsim;

namespace winsim {

HostFile::~HostFile() {
  if (fd >= 0) close(fd);
}

bool IsReadOnly(const std::filesystem::path& host) {
  struct stat info {};
  return stat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode) && !(info.st_mode & S_IWUSR);
}

bool SetReadOnly(const std::filesystem::path& host, bool readOnly) {
  std::error_code ec;
  const auto write = std::filesystem::perms::owner_write;
  std::filesystem::permissions(host, write,
                               readOnly ? std::filesystem::perm_options::remove : std::filesystem::perm_options::add, ec);
  return !ec;
}

}  // namespace winsim

namespace {

OpenFile* FindOpen(HANDLE handle) {
  for (OpenFile& file : M().files.open)
    if (file.handle == uint64_t(reinterpret_cast<uintptr_t>(handle))) return &file;
  return nullptr;
}

std::string Hex(DWORD value) {
  static const char digits[] = "0123456789abcdef";
  std::string out = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) out += digits[(value >> shift) & 15];
  return out;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE) {
  std::string name = Utf8(path);
  Trace("CreateFileW", name + " " + Hex(access) + " share " + std::to_string(shareMode) + " disposition " +
                           std::to_string(disposition));
  AdvanceClock(M().files.openLatencyMs);
  if (DWORD error = FaultFor("CreateFileW", name)) return Fail(error, INVALID_HANDLE_VALUE);
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
      (disposition == TRUNCATE_EXISTING && !(FileRights(access) & FILE_WRITE_DATA)))
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  HostPath target = ResolvePath(name);
  if (DWORD error = PathError(target)) return Fail(error, INVALID_HANDLE_VALUE);
  std::error_code ec;
  bool exists = std::filesystem::exists(target.path, ec);
  // Directories open only with backup semantics, which nothing here asks for.
  if (exists && std::filesystem::is_directory(target.path, ec)) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  if (!exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING))
    return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (exists && disposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
  bool truncate = exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
  // A read-only file refuses to be opened for writing or overwritten, before any sharing is
  // weighed: ERROR_ACCESS_DENIED (Wine's kernel32 file.c conformance tests, which pass on
  // Windows; the .NET PAL's SetFileAttributesW tests: no open for writing once read-only).
  const DWORD rights = FileRights(access);
  const bool writing = (rights & (FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
  if (exists && (writing || truncate) && IsReadOnly(target.path)) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  if ((writing || truncate) && HoldOn(name)) return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
  if (!SharingAllows(target.path, access, shareMode)) return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
  const int mode = writing ? ((rights & FILE_READ_DATA) ? O_RDWR : O_WRONLY) : O_RDONLY;
  const bool made = !exists || truncate;
  auto host = std::make_shared<HostFile>(::open(target.path.c_str(), mode | O_CLOEXEC | (made ? O_CREAT | O_TRUNC : 0), 0666));
  if (host->fd < 0) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  // A file made or overwritten takes the attributes asked for, read-only among them (winfstest
  // 01_CreateFile_Attributes.t: CREATE_ALWAYS with FILE_ATTRIBUTE_READONLY over a normal file
  // leaves it read-only); the handle keeps the access it was opened with.
  if (made && (flags & FILE_ATTRIBUTE_READONLY) && !SetReadOnly(target.path, true))
    return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  // A descriptor given applies to a new file only (CreateFileW, lpSecurityAttributes); without
  // one a new file has only what it inherits.
  PathSecurity given;
  if (!exists && SecurityFromSddl(DescriptorText(security), &given)) {
    given.path = SecurityRecord(name).path;
    SecurityRecord(name) = given;
  } else if (!exists) {
    MoveSecurity(name, "");
  }
  FileState& files = M().files;
  OpenFile file;
  file.handle = NewKernelHandle();
  file.path = name;
  file.host = target.path;
  file.access = access;
  file.share = shareMode;
  file.file = std::move(host);
  if (!made) file.size = std::filesystem::file_size(target.path, ec);
  if (ec) file.size = 0;
  if (made)
    for (OpenFile& other : files.open)
      if (other.host == target.path) other.size = 0;
  const uint64_t handle = file.handle;
  files.open.push_back(std::move(file));
  // Windows says so when CREATE_ALWAYS or OPEN_ALWAYS found the file already there.
  SetLastError(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                     : ERROR_SUCCESS);
  return reinterpret_cast<HANDLE>(uintptr_t(handle));
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED) {
  if (bytesRead) *bytesRead = 0;
  OpenFile* file = FindOpen(handle);
  std::string name = file ? file->path : std::string();
  Trace("ReadFile", name + " " + std::to_string(bytesToRead));
  if (DWORD error = FaultFor("ReadFile", name)) return Fail(error, FALSE);
  if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(FileRights(file->access) & FILE_READ_DATA)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  ssize_t got = pread(file->file->fd, buffer, bytesToRead, off_t(file->position));
  if (got < 0) return Fail(ERROR_ACCESS_DENIED, FALSE);
  file->position += uint64_t(got);
  if (bytesRead) *bytesRead = DWORD(got);
  return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED) {
  if (bytesWritten) *bytesWritten = 0;
  OpenFile* file = FindOpen(handle);
  std::string name = file ? file->path : std::string();
  Trace("WriteFile", name + " " + std::to_string(bytesToWrite));
  if (DWORD error = FaultFor("WriteFile", name)) return Fail(error, FALSE);
  if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(FileRights(file->access) & (FILE_WRITE_DATA | FILE_APPEND_DATA))) return Fail(ERROR_ACCESS_DENIED, FALSE);
  const uint64_t size = file->size;
  // What the write adds to the file must fit on the disk; what does not fit is not written.
  uint64_t end = file->position + bytesToWrite;
  uint64_t growth = end > size ? end - size : 0;
  uint64_t& freeBytes = M().files.freeBytes;
  uint64_t excess = growth > freeBytes ? growth - freeBytes : 0;
  DWORD count = excess < bytesToWrite ? DWORD(bytesToWrite - excess) : 0;
  // Written through at once, as Windows' cache keeps a write of a program that then dies.
  ssize_t put = count ? pwrite(file->file->fd, buffer, count, off_t(file->position)) : 0;
  if (put != ssize_t(count)) return Fail(ERROR_WRITE_FAULT, FALSE);
  uint64_t newEnd = file->position + count;
  if (newEnd > size) {
    if (freeBytes != UINT64_MAX) freeBytes -= newEnd - size;
    for (OpenFile& other : M().files.open)
      if (other.host == file->host) other.size = newEnd;
  }
  file->position += count;
  if (bytesWritten) *bytesWritten = count;
  if (count < bytesToWrite) return Fail(ERROR_DISK_FULL, FALSE);
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  OpenFile* file = FindOpen(handle);
  std::string name = file ? file->path : DescribeKernelObject(handle);
  Trace("CloseHandle", name);
  if (DWORD error = FaultFor("CloseHandle", name)) return Fail(error, FALSE);
  if (!file) return CloseKernelObject(handle) ? TRUE : Fail(ERROR_INVALID_HANDLE, FALSE);
  std::vector<OpenFile>& open = M().files.open;
  open.erase(open.begin() + (file - open.data()));  // the host file closes with its record
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR path) {
  std::string name = Utf8(path);
  Trace("DeleteFileW", name);
  if (DWORD error = FaultFor("DeleteFileW", name)) return Fail(error, FALSE);
  HostPath target;
  if (DWORD error = LocateExisting(name, &target)) return Fail(error, FALSE);
  std::error_code ec;
  if (std::filesystem::is_directory(target.path, ec)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (!SharingAllows(target.path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
    return Fail(ERROR_SHARING_VIOLATION, FALSE);
  if (const FileHold* hold = HoldOn(name)) return Fail(hold->deleteError, FALSE);
  // A read-only file is not deleted (DeleteFileW, Microsoft Learn: "To delete a read-only file,
  // first you must remove the read-only attribute"; Wine's kernel32 file.c tests: ERROR_ACCESS_DENIED).
  if (IsReadOnly(target.path)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (!std::filesystem::remove(target.path, ec)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  MoveSecurity(name, "");
  return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR path) {
  std::string name = Utf8(path);
  Trace("GetFileAttributesW", name);
  if (DWORD error = FaultFor("GetFileAttributesW", name)) return Fail(error, INVALID_FILE_ATTRIBUTES);
  HostPath target;
  DWORD error = LocateExisting(name, &target);
  // A junction's own attributes, not its target's: a directory with a reparse point, even when
  // the target is gone (GetFileAttributesW, Microsoft docs: a mounted folder gives the
  // directory's attributes; "How do I get information about the target of a symbolic link?",
  // Microsoft devblogs 2010-02-12: the link's own attributes, FILE_ATTRIBUTE_REPARSE_POINT set).
  if (target.junction) return FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  if (error) return Fail(error, INVALID_FILE_ATTRIBUTES);
  std::error_code ec;
  if (std::filesystem::is_directory(target.path, ec)) return FILE_ATTRIBUTE_DIRECTORY;
  return FILE_ATTRIBUTE_ARCHIVE | (IsReadOnly(target.path) ? FILE_ATTRIBUTE_READONLY : 0);
}

// SetFileAttributesW (fileapi.h, Microsoft Learn): of the attributes only read-only is kept;
// FILE_ATTRIBUTE_NORMAL alone clears it. A folder's read-only attribute is not honoured by the
// file system (same page), so a folder keeps none here.
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
  std::string name = Utf8(path);
  Trace("SetFileAttributesW", name + " " + Hex(attributes));
  if (DWORD error = FaultFor("SetFileAttributesW", name)) return Fail(error, FALSE);
  HostPath target;
  if (DWORD error = LocateExisting(name, &target)) return Fail(error, FALSE);
  std::error_code ec;
  if (target.junction || std::filesystem::is_directory(target.path, ec)) return TRUE;
  if (!SetReadOnly(target.path, (attributes & FILE_ATTRIBUTE_READONLY) != 0)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  return TRUE;
}

// GetDiskFreeSpaceExW (fileapi.h, Microsoft Learn): any directory of the disk names it, NULL the
// current directory's; each result is optional. The machine has one disk without quotas, so the
// caller's free bytes are the disk's: `freeBytes`, and its size that plus what its files take.
BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes) {
  std::string name = directoryName ? Utf8(directoryName) : M().files.currentDir;
  Trace("GetDiskFreeSpaceExW", name);
  if (DWORD error = FaultFor("GetDiskFreeSpaceExW", name)) return Fail(error, FALSE);
  HostPath target;
  if (DWORD error = LocateExisting(name, &target)) return Fail(error, FALSE);
  std::error_code ec;
  const uint64_t free = M().files.freeBytes;
  uint64_t used = 0;
  for (auto it = std::filesystem::recursive_directory_iterator(ResolvePath("C:\\").path, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file(ec)) used += it->file_size(ec);
  if (freeBytesAvailableToCaller) freeBytesAvailableToCaller->QuadPart = free;
  if (totalNumberOfFreeBytes) totalNumberOfFreeBytes->QuadPart = free;
  if (totalNumberOfBytes) totalNumberOfBytes->QuadPart = free > UINT64_MAX - used ? UINT64_MAX : free + used;
  return TRUE;
}
