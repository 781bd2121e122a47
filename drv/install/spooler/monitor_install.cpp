#include "spooler/monitor_install.h"

#include "core/install_log.h"
#include "core/product.h"
#include "spooler/port_redirection.h"
#include "system/file_copy.h"
#include "system/spooler_service.h"

namespace inst {

namespace {

const int kAttempts = 5;
const DWORD kPauseMs = 50;

void CopyMonitorFile(InstallContext* context) {
  if (!context->CopyMonitor) {
    LogLine(context, TEXT("Skip copy monitor file"));
    return;
  }
  LogLine(context, TEXT("Copy monitor file"));
  if (CopyFile(context, Text(context->systemDir), context->monitorFile, nullptr, false) == S_OK) return;
  // The spooler may hold the old DLL: copy again while it is stopped. Registration follows
  // either way; this copy reports its own failure.
  SpoolerRestart restart;
  RestartSpooler(&restart, context);
  CopyFile(context, Text(context->systemDir), context->monitorFile, nullptr, true);
}

bool RegisterMonitor(InstallContext* context) {
  MONITOR_INFO_2W info = {const_cast<LPWSTR>(PRODUCT_MONITOR_NAME), const_cast<LPWSTR>(context->environment),
                          const_cast<LPWSTR>(context->monitorFile)};
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) Sleep(kPauseMs);
    if (AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) return true;
    LogLine(context, TEXT("AddMonitor - failed. Trying to wait and install again"));
  }
  return false;
}

void RestoreRedirectedPorts(InstallContext* context) {
  PRINTER_INFO_2W** redirected = context->redirectedPrinters;
  if (!redirected) return;
  for (PRINTER_INFO_2W** entry = redirected; *entry; ++entry)
    if (RestorePortFromFile((*entry)->pPortName)) WriteBackPrinter(context, *entry);
  // Each port was shortened once: lengthening it a second time would leave its room.
  redirected[0] = nullptr;
}

}  // namespace

void AddMonitor(InstallContext* context) {
  LogLine(context, TEXT(">AddMonitor"));
  ++context->indent;
  CopyMonitorFile(context);
  if (!RegisterMonitor(context)) {
    ReportError(context, 11, TEXT("Can`t install a local port monitor'LumascribeServer:'"));
    --context->indent;
    return;
  }
  LogLine(context, TEXT("AddMonitor - OK :)"));
  RestoreRedirectedPorts(context);
  --context->indent;
}

}  // namespace inst
