#include "core/uninstall.h"

#include "core/install_context.h"
#include "core/install_log.h"
#include "printers/printer_removal.h"
#include "printers/tray_companion.h"
#include "spooler/driver_list.h"
#include "spooler/driver_removal.h"
#include "spooler/monitor_list.h"
#include "spooler/monitor_removal.h"
#include "system/pending_deletes.h"
#include "system/pending_renames.h"
#include "system/spooler_service.h"

namespace inst {

namespace {

MonitorList EnumerateMonitorsLogged(InstallContext* context) {
  LogLine(context, TEXT("EnumMonitors"));
  return EnumerateMonitors(context);
}

// Only a reinstall checks the monitor's build, and it starts the companion again at its end:
// deleting the companion's executable there would leave the product without it.
TrayFile CompanionFile(const InstallContext* context) {
  return context->checkMonitorVersion ? TrayFile::Keep : TrayFile::Delete;
}

DriverList EnumerateDriversLogged(InstallContext* context, const WCHAR* environment) {
  LogLine(context, TEXT("EnumPrinterDrivers for %s"), environment);
  DriverList drivers = EnumerateDrivers(environment);
  // An empty list would let the removal find no driver to remove and the run pass for a success.
  if (drivers.error) {
    SetLastError(drivers.error);
    ReportError(context, 21, TEXT("Can`t list the printer drivers for %s"), environment);
  }
  return drivers;
}

}  // namespace

void UnInstall(InstallContext* context) {
  LogLine(context, TEXT(">UnInstall"));
  ++context->indent;
  if (context->serverMode) {
    UnInstallServer(context);
    --context->indent;
    return;
  }
  StopTrayCompanion(CompanionFile(context));
  MonitorList monitors = EnumerateMonitorsLogged(context);
  LogLine(context, TEXT("%d Monitors found."), monitors.count);
  DriverList drivers = EnumerateDriversLogged(context, context->environment);
  LogLine(context, TEXT("%d drivers found"), drivers.count);
  DeleteAllPrinters(context);
  DeletePrinterDriver(context, drivers);
  DeleteMonitor(context, monitors);
  if (context->pendingDeletes) RetryPendingDeletes(context);
  FreeDriverList(&drivers);
  FreeMonitorList(&monitors);
  --context->indent;
}

void UnInstallServer(InstallContext* context) {
  LogLine(context, TEXT(">UnInstall Server"));
  ++context->indent;
  StopTrayCompanion(CompanionFile(context));
  MonitorList monitors = EnumerateMonitorsLogged(context);
  LogLine(context, TEXT("%d Monitors found"), monitors.count);
  DriverList currentDrivers = EnumerateDriversLogged(context, context->environment);
  const WCHAR* other = context->isX64 ? TEXT("Windows NT x86") : TEXT("Windows x64");
  DriverList otherDrivers = EnumerateDriversLogged(context, other);
  DeleteAllPrinters(context);
  DeletePrinterDriver(context, currentDrivers);
  // Still the starting environment, so monitorFile names its monitor DLL.
  DeleteMonitor(context, monitors);
  SelectEnvironment(context, !context->isX64);
  DeletePrinterDriver(context, otherDrivers);
  SelectEnvironment(context, !context->isX64);
  if (context->pendingDeletes) RetryPendingDeletes(context);
  FreeDriverList(&otherDrivers);
  FreeDriverList(&currentDrivers);
  FreeMonitorList(&monitors);
  --context->indent;
}

void DeletePendingRenames() {
  PendingRenameList renames = ReadPendingRenames();
  ProductFolders folders{};
  DeletePendingRenameSources(&renames, &folders);
  FreePendingRenameList(&renames);
}

void RetryDeletesWithSpoolerStop(InstallContext* context) {
  RetryPendingDeletes(context);
  if (!context->pendingDeletes) return;
  SpoolerRestart restart;
  RestartSpooler(&restart, context);
  RetryPendingDeletes(context);
}

UninstallResult UninstallCommand(HWND owner, LogFile* file) {
  InstallContext context{};
  context.logFile = file;
  CreateInstallContext(&context, kServerMode | kX64First);
  // As an install, an uninstall that does not know its own folder (Error 28) changes nothing.
  if (context.moduleDir) {
    UnInstall(&context);
    DeletePendingRenames();
    if (context.pendingDeletes) RetryDeletesWithSpoolerStop(&context);
  }
  UninstallResult result{};
  result.scheduled = ScheduleDeletesAtReboot(&context);
  ShowLogWindow(&context, owner);
  result.errors = context.errorCount > 0;
  DestroyInstallContext(&context);
  return result;
}

}  // namespace inst
