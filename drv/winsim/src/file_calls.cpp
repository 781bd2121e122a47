// kernel32: the file calls.
#include <filesystem>

#include "winsim/file_state.h"
#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

BOOL DeleteFileW(LPCWSTR path) {
  std::string name = Utf8(path);
  Trace("DeleteFileW", name);
  if (DWORD error = FaultFor("DeleteFileW", name)) return Fail(error, FALSE);
  HostPath target = ResolvePath(name);
  if (target.error) return Fail(target.error, FALSE);
  if (!target.parentExists) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
  std::error_code ec;
  if (!std::filesystem::exists(target.path, ec)) return Fail(ERROR_FILE_NOT_FOUND, FALSE);
  if (std::filesystem::is_directory(target.path, ec)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (const FileHold* hold = HoldOn(name)) return Fail(hold->deleteError, FALSE);
  if (!std::filesystem::remove(target.path, ec)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR path) {
  std::string name = Utf8(path);
  Trace("GetFileAttributesW", name);
  if (DWORD error = FaultFor("GetFileAttributesW", name)) return Fail(error, INVALID_FILE_ATTRIBUTES);
  HostPath target = ResolvePath(name);
  if (target.error) return Fail(target.error, INVALID_FILE_ATTRIBUTES);
  if (!target.parentExists) return Fail(ERROR_PATH_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
  std::error_code ec;
  if (!std::filesystem::exists(target.path, ec)) return Fail(ERROR_FILE_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
  return std::filesystem::is_directory(target.path, ec) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
}
