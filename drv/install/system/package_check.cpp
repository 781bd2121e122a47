#include "system/package_check.h"

#include <cstdint>

#include "core/install_context.h"
#include "core/install_log.h"
#include "core/product.h"
#include "core/wide.h"
#include "printers/tray_companion.h"
#include "spooler/monitor_list.h"
#include "system/file_version.h"
#include "system/image_check.h"
#include "system/package_rights.h"
#include "system/pending_renames.h"
#include "system/spooler_service.h"

namespace inst {

namespace {

// A file the run copies, and how often: the spooler copies each staged driver file once more,
// and the help file is staged for each environment.
struct PackageFile {
  const WCHAR* name;
  const WCHAR* environment;  // of a DLL; null for the help file
  WORD machine;
  bool readsBuild;  // a later run reads its build number
  int copies;
};

constexpr int kMaxFiles = 6;  // the monitor, then driver and configuration DLLs of two environments, and help

struct Package {
  PackageFile files[kMaxFiles];
  int count;
};

void Add(Package* package, const PackageFile& file) {
  for (int i = 0; i < package->count; ++i)
    if (StrEqual(package->files[i].name, file.name)) {
      package->files[i].copies += file.copies;
      return;
    }
  if (package->count < kMaxFiles) package->files[package->count++] = file;
}

void AddEnvironment(Package* package, bool x64) {
  const EnvironmentFiles& files = FilesOf(x64);
  WORD machine = x64 ? kMachineX64 : kMachineX86;
  Add(package, {files.driverFile, files.environment, machine, true, 2});
  Add(package, {files.uiFile, files.environment, machine, false, 2});
  Add(package, {PRODUCT_HELP_FILE, nullptr, 0, false, 2});
}

// Whether the pending-rename clean-up will delete `path` before the monitor is added.
bool DeletedAtCleanUp(const WCHAR* path) {
  PendingRenameList renames = ReadPendingRenames();
  bool deleted = false;
  for (int32_t k = 0; k < renames.pairCount && !deleted; ++k)
    deleted = renames.names[2 * k] && !renames.names[2 * k + 1] &&
              StrEqualNoCase(WithoutNtPrefix(renames.names[2 * k]), path);
  FreePendingRenameList(&renames);
  return deleted;
}

// Whether the reinstall copies the monitor DLL. It does not when the monitor's DLL in the system
// directory has a compatible build and stays: registered under that name, or unregistered and
// not deleted by the clean-up first. In doubt (a registration under another name), it does.
bool MonitorWillBeCopied(InstallContext* context) {
  CountedString path = nullptr;
  bool copied = true;
  if (Length(context->systemDir) != 0 && AssignString(path, Text(context->systemDir)) &&
      AppendString(path, context->monitorFile)) {
    int32_t build = GetFileBuildNumber(Text(path));
    if (build >= kOldestCompatibleBuild && build <= kBuildNumber) {
      MonitorList monitors = EnumerateMonitors(context);
      int32_t index = FindProductMonitor(monitors);
      if (index >= 0)
        copied = !StrEqualNoCase(static_cast<const MONITOR_INFO_2W*>(monitors.records)[index].pDLLName,
                                 context->monitorFile);
      else
        copied = DeletedAtCleanUp(Text(path));
      FreeMonitorList(&monitors);
    }
  }
  FreeString(path);
  return copied;
}

// Opens a product file for the rest of the run: shared for reading only, so that nobody writes,
// deletes or renames it (or its folders) until the copies are made and the companion started
// from it; reading and starting a program agree with that sharing.
HANDLE OpenHeld(const WCHAR* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Reads the file through as its copy will, and keeps it open in the context; its size, or
// false after reporting why it cannot be read. `bytes` (2 × kImageHeadBytes) receives the
// file's first bytes, `*headLength` of them.
bool ReadThrough(InstallContext* context, const WCHAR* path, const WCHAR* name, BYTE* bytes, DWORD* headLength,
                 uint64_t* size) {
  HANDLE file = OpenHeld(path);
  if (file == INVALID_HANDLE_VALUE) {
    ReportError(context, 22, TEXT("Can`t read the product file %s"), name);
    return false;
  }
  bool read = ReadFile(file, bytes, DWORD(kImageHeadBytes), headLength, nullptr) != FALSE;
  *size = *headLength;
  // The rest is only counted.
  for (DWORD got = *headLength; read && got == kImageHeadBytes; *size += got) {
    got = 0;
    read = ReadFile(file, bytes + kImageHeadBytes, DWORD(kImageHeadBytes), &got, nullptr) != FALSE;
  }
  DWORD error = GetLastError();
  if (read) {
    KeepOpen(&context->heldFiles, file);
  } else {
    CloseHandle(file);
    SetLastError(error);
    ReportError(context, 22, TEXT("Can`t read the product file %s"), name);
  }
  return read;
}

// Checks one file; the bytes its copies take (0 when it cannot be read).
uint64_t CheckFile(InstallContext* context, const PackageFile& file, const WCHAR* self) {
  CountedString path = nullptr;
  if (!AssignString(path, Text(context->moduleDir)) || !AppendString(path, file.name)) {
    FreeString(path);
    SetLastError(DWORD(E_OUTOFMEMORY));
    ReportError(context, 22, TEXT("Can`t read the product file %s"), file.name);
    return 0;
  }
  BYTE bytes[2 * kImageHeadBytes];
  DWORD headLength = 0;
  uint64_t size = 0;
  if (ReadThrough(context, Text(path), file.name, bytes, &headLength, &size) &&
      CheckPathRights(context, Text(path), false, self)) {
    uint64_t end = file.machine ? ImageEnd(bytes, headLength, file.machine) : 0;
    if (size == 0) {
      SetLastError(ERROR_HANDLE_EOF);
      ReportError(context, 23, TEXT("The product file %s is empty"), file.name);
    } else if (file.machine && (end == 0 || size < end)) {
      SetLastError(ERROR_BAD_FORMAT);
      ReportError(context, 24, TEXT("The product file %s is not a whole DLL for %s"), file.name, file.environment);
    } else if (file.readsBuild && GetFileBuildNumber(Text(path)) == kNoBuildNumber) {
      if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
      ReportError(context, 24, TEXT("The product file %s gives no build number"), file.name);
    }
  }
  FreeString(path);
  return size * uint64_t(file.copies);
}

// The companion is started from where it lies: held and checked as the copied files are. One
// that is missing was never an error: it is simply not started.
void CheckCompanion(InstallContext* context, const WCHAR* self) {
  CountedString path = TrayPath(context->moduleDir);
  HANDLE file = path ? OpenHeld(Text(path)) : INVALID_HANDLE_VALUE;
  if (file != INVALID_HANDLE_VALUE) {
    KeepOpen(&context->heldFiles, file);
    CheckPathRights(context, Text(path), false, self);
  } else if (!path || GetLastError() != ERROR_FILE_NOT_FOUND) {
    if (!path) SetLastError(DWORD(E_OUTOFMEMORY));
    ReportError(context, 22, TEXT("Can`t read the product file %s"), TEXT("lumtray.exe"));
  }
  FreeString(path);
}

int32_t Kilobytes(uint64_t bytes, bool roundUp) {
  uint64_t kilobytes = bytes / 1024 + (roundUp && bytes % 1024 ? 1 : 0);
  return kilobytes > INT32_MAX ? INT32_MAX : int32_t(kilobytes);
}

void CheckRoom(InstallContext* context, uint64_t needed) {
  ULARGE_INTEGER room = {};
  const WCHAR* directory = Length(context->systemDir) != 0 ? Text(context->systemDir) : nullptr;
  if (!GetDiskFreeSpaceExW(directory, &room, nullptr, nullptr)) {
    ReportError(context, 25, TEXT("Can`t tell the room left on the system drive"));
  } else if (room.QuadPart < needed) {
    SetLastError(ERROR_DISK_FULL);
    ReportError(context, 25, TEXT("Not enough room on the system drive: %d KB needed, %d KB free"),
                Kilobytes(needed, true), Kilobytes(room.QuadPart, false));
  }
}

// Each file the reinstall copies or starts, the room for the copies, the spooler.
void CheckFiles(InstallContext* context, const WCHAR* self) {
  Package package{};
  if (MonitorWillBeCopied(context))
    Add(&package, {context->monitorFile, context->environment, context->isX64 ? kMachineX64 : kMachineX86, true, 1});
  AddEnvironment(&package, context->isX64);
  if (context->serverMode) AddEnvironment(&package, !context->isX64);
  uint64_t needed = 0;
  for (int i = 0; i < package.count; ++i) needed += CheckFile(context, package.files[i], self);
  CheckCompanion(context, self);
  CheckRoom(context, needed);
  if (!SpoolerRunning()) ReportError(context, 26, TEXT("The spooler is not running"));
}

}  // namespace

bool CheckPackage(InstallContext* context) {
  int32_t errors = context->errorCount;
  WCHAR* self = RunningAccountSid();
  // Nothing is read from a place others can change.
  bool trusted = CheckFolderRights(context, Text(context->moduleDir), self);
  if (trusted) CheckFiles(context, self);
  LocalFree(self);
  return context->errorCount == errors;
}


}  // namespace inst
