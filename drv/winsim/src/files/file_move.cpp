// kernel32: MoveFileExW, at once or queued for the next boot.
#include <filesystem>

#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

namespace winsim {

DWORD RenameMachineFile(const std::string& from, const std::string& to, bool replace) {
  HostPath source;
  if (DWORD error = LocateExisting(from, &source)) return error;
  HostPath target = ResolvePath(to);
  if (DWORD error = PathError(target)) return error;
  std::error_code ec;
  if (HoldOn(from)) return ERROR_SHARING_VIOLATION;
  // A rename opens the source for DELETE ("Renaming a file is a multi-step process", Microsoft
  // devblogs 2021-10-22), so open handles that do not share deletion refuse it; NTFS refuses to
  // rename a folder with open files below it (STATUS_ACCESS_DENIED, error 5 in Win32).
  if (!SharingAllows(source.path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
    return ERROR_SHARING_VIOLATION;
  if (std::filesystem::is_directory(source.path, ec) && OpenBelow(source.path)) return ERROR_ACCESS_DENIED;
  std::filesystem::path destination = target.path;
  if (destination == source.path) {
    // Only the spelling changes: the new name keeps the caller's letter case.
    DWORD error = 0;
    std::string full = FullWindowsPath(to, &error);
    destination = source.path.parent_path() / full.substr(full.find_last_of('\\') + 1);
  } else if (std::filesystem::exists(destination, ec)) {
    if (!replace) return ERROR_ALREADY_EXISTS;
    if (std::filesystem::is_directory(destination, ec)) return ERROR_ACCESS_DENIED;
    if (const FileHold* hold = HoldOn(to)) return hold->deleteError;
    // Replacing deletes the file there, and a read-only file is not deleted (DeleteFileW,
    // Microsoft Learn: "To delete a read-only file, first you must remove the read-only attribute").
    if (IsReadOnly(destination)) return ERROR_ACCESS_DENIED;
  }
  std::filesystem::rename(source.path, destination, ec);
  if (ec) return ERROR_ACCESS_DENIED;
  MoveSecurity(from, to);
  return ERROR_SUCCESS;
}

}  // namespace winsim

namespace {

// Appends one (source, target) pair to the boot's queue, keeping what is queued already.
void QueueForBoot(const std::u16string& source, const std::u16string& target);

}  // namespace

namespace winsim {

void QueueDeletionAtBoot(const std::string& windowsPath) { QueueForBoot(u"\\??\\" + Wide(windowsPath), u""); }

}  // namespace winsim

namespace {

void QueueForBoot(const std::u16string& source, const std::u16string& target) {
  std::string data;
  GetRegValue(kSessionManagerKey, kPendingRenamesValue, nullptr, &data);
  std::vector<std::u16string> strings = MultiSzStrings(data);
  strings.push_back(source);
  strings.push_back(target);
  std::u16string all;
  for (const std::u16string& s : strings) all += s + u'\0';
  SetRegValue(kSessionManagerKey, kPendingRenamesValue, REG_MULTI_SZ, Utf16LeBytes(all + u'\0'));
}

}  // namespace

BOOL MoveFileExW(LPCWSTR existingName, LPCWSTR newName, DWORD flags) {
  std::string from = Utf8(existingName);
  std::string to = Utf8(newName);
  Trace("MoveFileExW", from + " -> " + to + " " + std::to_string(flags));
  if (DWORD error = FaultFor("MoveFileExW", from)) return Fail(error, FALSE);
  if (!existingName) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    // Nothing is checked on disk now: the session manager finds out at boot.
    if (flags & MOVEFILE_COPY_ALLOWED) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    DWORD error = 0;
    std::string source = FullWindowsPath(from, &error);
    if (error) return Fail(error, FALSE);
    std::string target;
    if (newName) {
      target = FullWindowsPath(to, &error);
      if (error) return Fail(error, FALSE);
      target = (flags & MOVEFILE_REPLACE_EXISTING ? "!\\??\\" : "\\??\\") + target;
    }
    QueueForBoot(u"\\??\\" + Wide(source), Wide(target));
    return TRUE;
  }
  if (!newName) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (DWORD error = RenameMachineFile(from, to, flags & MOVEFILE_REPLACE_EXISTING)) return Fail(error, FALSE);
  return TRUE;
}
