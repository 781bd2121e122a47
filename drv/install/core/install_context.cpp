#include "core/install_context.h"

#include "core/install_log.h"
#include "core/module.h"
#include "core/product.h"
#include "core/wide.h"
#include "system/spooler_service.h"

namespace inst {

namespace {

// The package is taken from the tool's own folder. A path that fills the buffer was cut short
// (the call then returns the buffer's size, with ERROR_INSUFFICIENT_BUFFER since Vista) and
// would name another folder; a bare name names none. Then the folder stays unknown (null) and
// Error 28 is reported.
void SetModuleDir(InstallContext* context) {
  WCHAR path[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
  bool whole = length > 0 && length < MAX_PATH;
  size_t cut = 0;
  for (size_t i = 0; whole && path[i]; ++i)
    if (path[i] == '\\' || path[i] == '/' || path[i] == ':') cut = i + 1;
  path[cut] = 0;
  if (whole && cut == 0)
    SetLastError(ERROR_BAD_PATHNAME);
  else if (whole && !AssignString(context->moduleDir, path))
    SetLastError(DWORD(E_OUTOFMEMORY));
  if (!context->moduleDir) ReportError(context, 28, TEXT("Can`t retrieve the installer's own path."));
}

void SetSystemDir(InstallContext* context) {
  WCHAR path[MAX_PATH + 2] = {};
  if (!GetSystemDirectoryW(path, MAX_PATH)) {
    ReportError(context, 7, TEXT("Can`t retrieve system directory."));
    return;
  }
  EndWithBackslash(path);
  AssignString(context->systemDir, path);
}

}  // namespace

void CreateInstallContext(InstallContext* context, uint32_t options) {
  LogFile* file = context->logFile;
  *context = InstallContext{};
  context->logFile = file;
  LogLine(context, TEXT("Lumascribe %d"), kBuildNumber);
  context->checkMonitorVersion = false;
  context->InstallMonitor = true;
  context->CopyMonitor = true;
  CheckSpooler(context);
  context->serverMode = (options & kServerMode) != 0;
  SelectEnvironment(context, (options & kX64First) != 0);
  context->redirectedPrinters = nullptr;
  SetModuleDir(context);
  SetSystemDir(context);
  MarkDefaultPrinter(context);
}

void SelectEnvironment(InstallContext* context, bool x64) {
  const EnvironmentFiles& files = FilesOf(x64);
  context->isX64 = x64;
  context->environment = files.environment;
  context->monitorFile = files.monitorFile;
  context->driverFile = files.driverFile;
  context->uiFile = files.uiFile;
  context->helpFile = PRODUCT_HELP_FILE;

  LPWSTR environment = const_cast<LPWSTR>(context->environment);
  DWORD needed = 0;
  if (GetPrinterDriverDirectoryW(nullptr, environment, 1, nullptr, 0, &needed)) return;
  WCHAR* directory = nullptr;
  bool found = false;
  if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    // One character more than asked for: room for the separator appended below.
    directory = static_cast<WCHAR*>(GlobalAlloc(GPTR, SIZE_T(needed) + sizeof(WCHAR)));
    if (!directory)
      SetLastError(DWORD(E_OUTOFMEMORY));
    else
      found = GetPrinterDriverDirectoryW(nullptr, environment, 1, reinterpret_cast<LPBYTE>(directory),
                                         needed, &needed) != FALSE;
  }
  if (found) {
    LogLine(context, TEXT("PrinterDriverDirectory(1):%s"), static_cast<const WCHAR*>(directory));
    EndWithBackslash(directory);
    LogLine(context, TEXT("PrinterDriverDirectory(2):%s"), static_cast<const WCHAR*>(directory));
    AssignString(context->driverDir, directory);
  } else {
    ReportError(context, 6, TEXT("Can`t retrieve printer driver directory."));
  }
  if (directory) GlobalFree(directory);
}

void DestroyInstallContext(InstallContext* context) {
  if (context->redirectedPrinters) GlobalFree(context->redirectedPrinters);
  context->redirectedPrinters = nullptr;
  FreePrinterList(&context->printers);
  FreeSavedPrinters(context->savedPrinters);
  ClearPendingDeletes(context);
  ReleaseHeldFiles(&context->heldFiles);
  FreeString(context->driverDir);
  FreeString(context->logText);
  FreeString(context->systemDir);
  FreeString(context->moduleDir);
}

}  // namespace inst
