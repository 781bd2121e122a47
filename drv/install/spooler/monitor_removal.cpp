#include "spooler/monitor_removal.h"

#include "core/install_log.h"
#include "core/product.h"
#include "core/wide.h"
#include "spooler/port_redirection.h"
#include "system/file_version.h"
#include "system/pending_deletes.h"
#include "system/read_only.h"
#include "system/spooler_service.h"

namespace inst {

namespace {

// This environment's monitor file in the system directory, spelt as the registration names it
// when that is the same file (letter case aside): the registered name is the machine's data, and
// the elevated tool checks and deletes no other file by it. False when the path could not be
// built (the system directory unknown, or no memory).
bool MonitorPath(InstallContext* context, const MonitorList& monitors, int32_t index, CountedString* path) {
  const WCHAR* file = context->monitorFile;
  if (index >= 0) {
    LogLine(context, TEXT("Trying to get monitor filename from MONITOR_INFO_2"));
    const WCHAR* registered = static_cast<const MONITOR_INFO_2W*>(monitors.records)[index].pDLLName;
    if (registered && StrEqualNoCase(registered, file)) {
      file = registered;
    } else {
      LogLine(context, TEXT("The registered DLL name '%s' is not the product's monitor file, leaving it and taking %s"),
              registered ? registered : TEXT(""), file);
    }
  } else {
    LogLine(context, TEXT("Computing monitor filename"));
  }
  bool built = Length(context->systemDir) != 0 && AssignString(*path, Text(context->systemDir)) &&
               AppendString(*path, file);
  if (!built) {
    FreeString(*path);
    SetLastError(DWORD(E_OUTOFMEMORY));
    return false;
  }
  LogLine(context, TEXT("Auto calculated monitor file name: %s"), Text(*path));
  return true;
}

// Whether the monitor in place is of a compatible build and stays; the flags then tell the
// installation which of its steps to skip.
bool KeepCompatibleMonitor(InstallContext* context, const WCHAR* path, bool found) {
  if (!context->checkMonitorVersion) {
    LogLine(context, TEXT("There is no check for monitor version"));
    return false;
  }
  int32_t build = GetFileBuildNumber(path);
  if (build >= kOldestCompatibleBuild && build <= kBuildNumber) {
    LogLine(context, TEXT("Version (%d) is compatible, proceed without uninstall"), build);
    if (found)
      context->InstallMonitor = false;
    else
      context->CopyMonitor = false;
    LogLine(context, TEXT("InstallMonitor == %d, CopyMonitor == %d"), int32_t(context->InstallMonitor),
            int32_t(context->CopyMonitor));
    return true;
  }
  if (build < 0)
    LogLine(context, TEXT("Version is unknown, proceed with reinstall"));
  else
    LogLine(context, TEXT("Version (%d) is not supported, proceed with reinstall"), build);
  return false;
}

bool RemoveRegistration(InstallContext* context) {
  return DeleteMonitorW(nullptr, const_cast<LPWSTR>(context->environment),
                        const_cast<LPWSTR>(PRODUCT_MONITOR_NAME)) != FALSE;
}

// Moves every printer of the snapshot off the product port and remembers it for AddMonitor.
// A connection's port is its server's: it stays.
void RedirectPrinters(InstallContext* context) {
  if (context->redirectedPrinters) GlobalFree(context->redirectedPrinters);
  context->redirectedPrinters = nullptr;
  PrinterList& printers = context->printers;
  if (printers.count == 0) return;
  auto** redirected =
      static_cast<PRINTER_INFO_2W**>(GlobalAlloc(GPTR, (SIZE_T(printers.count) + 1) * sizeof(PRINTER_INFO_2W*)));
  if (!redirected) {
    // A printer moved without being remembered could never get its port back: none is moved.
    SetLastError(DWORD(E_OUTOFMEMORY));
    return;
  }
  context->redirectedPrinters = redirected;
  size_t n = 0;
  for (DWORD i = 0; i < printers.count; ++i) {
    PRINTER_INFO_2W* printer = &printers.entries[i];
    if (IsConnection(*printer) || !RedirectPortToFile(printer->pPortName)) continue;
    redirected[n++] = printer;
    WriteBackPrinter(context, printer);
  }
}

// Steps of a refused first removal; whether the monitor is gone in the end.
bool RemoveAfterRefusal(InstallContext* context, bool found) {
  if (!found) {
    LogLine(context, TEXT("Can't delete monitor and monitor was not found. So everything should be ok"));
    return false;
  }
  LogLine(context, TEXT("Can't delete monitor from the first try"));
  RedirectPrinters(context);
  if (RemoveRegistration(context)) return true;
  {
    SpoolerRestart restart;
    RestartSpooler(&restart, context);
  }
  if (RemoveRegistration(context)) return true;
  ReportError(context, 12, TEXT("Can`t remove the port monitor 'LumascribeServer:'"));
  return false;
}

}  // namespace

void DeleteMonitor(InstallContext* context, const MonitorList& monitors) {
  LogLine(context, TEXT(">DeleteMonitor"));
  ++context->indent;
  if (monitors.count != 0)
    LogMonitorList(context, monitors);
  else
    LogLine(context, TEXT("BTW, there is no port monitors on this system."));
  int32_t index = FindProductMonitor(monitors);
  bool found = index != -1;
  if (found)
    LogLine(context, TEXT("Port monitor is found. Index=%d"), index + 1);
  else
    LogLine(context, TEXT("No Lumascribe port monitor was found."));
  CountedString path = nullptr;
  if (!MonitorPath(context, monitors, index, &path)) {
    // Without the DLL's path neither its build can be checked nor the file removed: all stays.
    ReportError(context, 12, TEXT("Can`t remove the port monitor 'LumascribeServer:'"));
  } else if (!KeepCompatibleMonitor(context, Text(path), found) &&
             (RemoveRegistration(context) || RemoveAfterRefusal(context, found))) {
    if (!(MakeWritable(Text(path)) && DeleteFileW(Text(path)))) AddPendingDelete(context->pendingDeletes, Text(path));
    LogLine(context, TEXT("Monitor was removed :)"));
  }
  FreeString(path);
  --context->indent;
}

}  // namespace inst
