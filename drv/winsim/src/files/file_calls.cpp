// kernel32: the file calls.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "winsim/file_state.h"
#include "winsim/machine.h"
#include "winsim/security.h"
#include "winsim/windows.h"

using namespace winsim;

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
                   DWORD, HANDLE) {
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
  if ((FileRights(access) & (FILE_WRITE_DATA | FILE_APPEND_DATA)) || truncate) {
    if (HoldOn(name)) return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
  }
  if (!SharingAllows(target.path, access, shareMode)) return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
  if (!exists || truncate) {
    std::ofstream created(target.path, std::ios::binary | std::ios::trunc);
    if (!created) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  }
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
  files.open.push_back(file);
  // Windows says so when CREATE_ALWAYS or OPEN_ALWAYS found the file already there.
  SetLastError(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                     : ERROR_SUCCESS);
  return reinterpret_cast<HANDLE>(uintptr_t(file.handle));
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED) {
  if (bytesRead) *bytesRead = 0;
  OpenFile* file = FindOpen(handle);
  std::string name = file ? file->path : std::string();
  Trace("ReadFile", name + " " + std::to_string(bytesToRead));
  if (DWORD error = FaultFor("ReadFile", name)) return Fail(error, FALSE);
  if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(FileRights(file->access) & FILE_READ_DATA)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  std::ifstream in(file->host, std::ios::binary);
  if (!in) return Fail(ERROR_ACCESS_DENIED, FALSE);
  in.seekg(std::streamoff(file->position));
  in.read(static_cast<char*>(buffer), bytesToRead);
  DWORD got = DWORD(std::max<std::streamsize>(in.gcount(), 0));
  file->position += got;
  if (bytesRead) *bytesRead = got;
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
  std::error_code ec;
  uint64_t size = std::filesystem::file_size(file->host, ec);
  if (ec) return Fail(ERROR_ACCESS_DENIED, FALSE);
  // What the write adds to the file must fit on the disk; what does not fit is not written.
  uint64_t end = file->position + bytesToWrite;
  uint64_t growth = end > size ? end - size : 0;
  uint64_t& freeBytes = M().files.freeBytes;
  uint64_t excess = growth > freeBytes ? growth - freeBytes : 0;
  DWORD count = excess < bytesToWrite ? DWORD(bytesToWrite - excess) : 0;
  std::fstream out(file->host, std::ios::binary | std::ios::in | std::ios::out);
  if (!out) return Fail(ERROR_ACCESS_DENIED, FALSE);
  out.seekp(std::streamoff(file->position));
  out.write(static_cast<const char*>(buffer), count);
  out.flush();
  if (!out) return Fail(ERROR_WRITE_FAULT, FALSE);
  if (freeBytes != UINT64_MAX) {
    uint64_t newEnd = file->position + count;
    freeBytes -= newEnd > size ? newEnd - size : 0;
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
  open.erase(open.begin() + (file - open.data()));
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
  return std::filesystem::is_directory(target.path, ec) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
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
