// Removal of the product from the spooler: the sequence every command starts with, and the
// uninstall command around it.
#pragma once
#include <cstdint>

#include "win32.h"

namespace inst {

struct InstallContext;
struct LogFile;

// Enumerates everything first, then removes printers, driver(s) and monitor; in server mode
// through UnInstallServer. Leaves the context's environment and indent as it found them.
void UnInstall(InstallContext* context);
void UnInstallServer(InstallContext* context);

struct UninstallResult {
  bool errors;        // an error was reported
  int32_t scheduled;  // files handed to Windows for deletion at the next restart
};

// The "un" and "uninstall" commands, with their own context and log window.
UninstallResult UninstallCommand(HWND owner, LogFile* file);

// Deletes what a pending deletion of the system names now, whoever queued it.
void DeletePendingRenames();
// Retries the failed deletions; when some are still held, once more with the spooler stopped.
void RetryDeletesWithSpoolerStop(InstallContext* context);

}  // namespace inst
