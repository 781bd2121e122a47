// The record every installer operation takes: directories, the current spooler environment
// and its files, the run's flags and counters, the log, and the lists operations hand on.
#pragma once
#include <cstdint>

#include "core/counted_string.h"
#include "printers/printer_list.h"
#include "printers/saved_printers.h"
#include "system/held_files.h"
#include "system/pending_deletes.h"
#include "win32.h"

namespace inst {

struct LogFile;

enum ContextOptions : uint32_t {
  kServerMode = 1,  // both environments; recreated printers are shared
  kX64First = 2,    // start in "Windows x64"
};

struct InstallContext {
  CountedString moduleDir;  // ends in its separator; null when unknown: the run changes nothing
  CountedString systemDir;  // ends in "\"
  CountedString logText;
  CountedString driverDir;  // of the current environment, ends in "\"
  const WCHAR* environment;
  const WCHAR* monitorFile;
  const WCHAR* driverFile;
  const WCHAR* helpFile;
  const WCHAR* uiFile;
  bool isX64;
  bool checkMonitorVersion;
  bool InstallMonitor;
  bool CopyMonitor;
  int32_t errorCount;
  int32_t indent;
  bool serverMode;
  PendingDelete* pendingDeletes;
  SavedPrinter* savedPrinters;  // the printers to recreate, each also in the recovery records
  int32_t keptPrinters;         // product printers a reinstall left in place: not captured
  bool printersUnread;          // the printers could not be listed: none was captured or removed
  PrinterList printers;
  DWORD defaultPrinterError;    // why the default printer could not be read; 0 when it could
  PRINTER_INFO_2W** redirectedPrinters;  // null-terminated; points into printers
  LogFile* logFile;  // where each log line goes as well; null: nowhere
  HeldFiles heldFiles;  // the product files the package check opened, held to the end
};

// Every field starts afresh but logFile, which the command sets first.
void CreateInstallContext(InstallContext* context, uint32_t options);
// Switches the environment fields and asks the spooler for that environment's driver directory.
void SelectEnvironment(InstallContext* context, bool x64);
void DestroyInstallContext(InstallContext* context);

}  // namespace inst
