#include "core/reinstall.h"

#include "core/entry.h"
#include "core/install_context.h"
#include "core/install_log.h"
#include "core/run_event.h"
#include "core/uninstall.h"
#include "printers/printer_creation.h"
#include "printers/tray_companion.h"
#include "spooler/driver_install.h"
#include "spooler/monitor_install.h"
#include "system/package_check.h"
#include "system/pending_deletes.h"
#include "system/pending_renames.h"
#include "system/platform_check.h"
#include "system/spooler_service.h"

namespace inst {

namespace {

// The removal half may have kept an unregistered monitor DLL of a compatible build whose
// deletion was still pending from an uninstall. When the clean-up has just carried that out, the
// DLL must be copied after all; when it could not (another program holds the file), the DLL is
// kept, and its deletion must not wait for the restart to take the new monitor's DLL away.
void KeepOrCopyMonitorFile(InstallContext* context) {
  if (context->CopyMonitor) return;
  CountedString path = nullptr;
  if (AssignString(path, Text(context->systemDir)) && AppendString(path, context->monitorFile)) {
    if (GetFileAttributesW(Text(path)) == INVALID_FILE_ATTRIBUTES)
      context->CopyMonitor = true;
    else
      CancelPendingDeletion(Text(path));
  }
  FreeString(path);
}

}  // namespace

void ReInstall(InstallContext* context) {
  LogLine(context, TEXT(">ReInstall"));
  context->indent += 2;
  context->checkMonitorVersion = true;
  UnInstall(context);
  if (context->pendingDeletes) {
    // The old installation's leftovers get one try with the spooler stopped; what still
    // resists is dropped, not scheduled for the restart.
    SpoolerRestart restart;
    RestartSpooler(&restart, context);
    RetryPendingDeletes(context);
    ClearPendingDeletes(context);
  }
  DeletePendingRenames();
  KeepOrCopyMonitorFile(context);
  if (context->InstallMonitor) AddMonitor(context);
  AddPrinterDriver(context);
  if (context->serverMode) {
    SelectEnvironment(context, !context->isX64);
    AddPrinterDriver(context);
    SelectEnvironment(context, !context->isX64);
  }
  RestorePrinters(context);
  StartTrayCompanion(context);
  if (context->pendingDeletes) RetryDeletesWithSpoolerStop(context);
  context->indent -= 2;
}

int InstallCommand(HWND owner, LogFile* file) {
  CloseHelpWindows();
  InstallContext context{};
  context.logFile = file;
  CreateInstallContext(&context, kServerMode | kX64First);
  LogLine(&context, TEXT(">>0010"));
  // The reinstall removes the working installation first: it starts only on a Windows whose
  // spooler can run the product, when it can finish, and never from a guessed folder (Error 28).
  if (!CheckPlatform(&context)) {
    LogLine(&context, TEXT("Nothing was changed: this Windows cannot run the product's driver and port monitor"));
  } else if (context.moduleDir && CheckPackage(&context)) {
    AddEventSource(&context);
    ReInstall(&context);
  } else {
    LogLine(&context, TEXT("Nothing was changed: the install needs what the errors above name"));
  }
  int32_t scheduled = ScheduleDeletesAtReboot(&context);
  ShowLogWindow(&context, owner);
  bool errors = context.errorCount > 0;
  LogLine(&context, TEXT(">>0020"));
  DestroyInstallContext(&context);
  if (errors) return kExitErrors;
  return scheduled > 0 ? kExitRestartNeeded : kExitInstalled;
}

}  // namespace inst
