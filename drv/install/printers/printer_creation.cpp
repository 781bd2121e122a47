#include "printers/printer_creation.h"

#include <cstring>

#include "core/install_log.h"
#include "core/product.h"
#include "core/wide.h"
#include "printers/printer_list.h"
#include "printers/saved_printers.h"
#include "printers/settings_key.h"
#include "spooler/monitor_list.h"

namespace inst {

namespace {

const WCHAR kFallbackPrinter[] = TEXT("lumServer");
const WCHAR kPrintProcessor[] = TEXT("WinPrint");
const size_t kPathArea = 260;

void LogProductMonitor(InstallContext* context) {
  LogLine(context, TEXT("Let's check our port monitors"));
  MonitorList monitors = EnumerateMonitors(context);
  if (FindProductMonitor(monitors) >= 0) {
    LogLine(context, TEXT("Port monitor is found"));
  } else {
    LogLine(context, TEXT("No Lumascribe port monitor was found."));
    if (monitors.count > 0)
      LogMonitorList(context, monitors);
    else
      LogLine(context, TEXT("BTW, there is no port monitors on this system."));
  }
  FreeMonitorList(&monitors);
}

// The spooler may report an unshared printer's share name as an empty string: that is no name.
bool HasText(const WCHAR* text) { return text && *text; }

void SharePrinter(HANDLE printer, PRINTER_INFO_2W* record, const WCHAR* shareName) {
  record->Attributes |= PRINTER_ATTRIBUTE_SHARED;
  record->pShareName = const_cast<WCHAR*>(shareName);
  SetPrinterW(printer, 2, reinterpret_cast<LPBYTE>(record), 0);
}

// The settings key goes back first: once the new printer holds it, the user's settings under
// it are no longer marked as those of a deleted printer.
void RestoreSettingsKey(HANDLE printer, const char* subKey) {
  if (!WritePrinterSubKey(printer, subKey)) return;
  char path[kPathArea] = {};
  std::memcpy(path, SETTINGS_KEY_PREFIX, kSettingsKeyPrefixChars);
  ReadPrinterSubKey(printer, path + kSettingsKeyPrefixChars);
  if (path[kSettingsKeyPrefixChars]) ClearDeletedMark(path);
}

// Whether the printer was created again; its later settings are best effort.
bool RestorePrinter(InstallContext* context, const SavedPrinter* node) {
  const PRINTER_INFO_2W* saved = node->printerEntry;
  HANDLE printer = AddPrinter(context, saved->pPrinterName);
  if (!printer) return false;
  RestoreSettingsKey(printer, node->subKey);
  if (PRINTER_INFO_2W* record = GetPrinterInfo2(printer)) {
    record->pComment = saved->pComment;
    record->pLocation = saved->pLocation;
    SetPrinterW(printer, 2, reinterpret_cast<LPBYTE>(record), 0);
    if ((saved->Attributes & PRINTER_ATTRIBUTE_DEFAULT) && StrEqual(saved->pDriverName, PRODUCT_DRIVER_NAME))
      SetDefaultPrinterW(record->pPrinterName);
    if (context->serverMode)
      SharePrinter(printer, record, HasText(saved->pShareName) ? saved->pShareName : saved->pPrinterName);
    GlobalFree(record);
  }
  ClosePrinter(printer);
  return true;
}

void AddFallbackPrinter(InstallContext* context) {
  HANDLE printer = AddPrinter(context, kFallbackPrinter);
  if (!printer) return;
  if (context->serverMode)
    if (PRINTER_INFO_2W* record = GetPrinterInfo2(printer)) {
      // A share name the spooler already gave the printer stays.
      SharePrinter(printer, record, HasText(record->pShareName) ? record->pShareName : kFallbackPrinter);
      GlobalFree(record);
    }
  ClosePrinter(printer);
}

}  // namespace

HANDLE AddPrinter(InstallContext* context, const WCHAR* name) {
  const WCHAR* shown = name ? name : TEXT("*");
  LogLine(context, TEXT(">AddPrinter(%s)"), shown);
  ++context->indent;
  LogProductMonitor(context);
  PRINTER_INFO_2W record = {};
  record.pPrinterName = const_cast<WCHAR*>(name);
  record.pPortName = const_cast<WCHAR*>(PRODUCT_MONITOR_NAME);
  record.pDriverName = const_cast<WCHAR*>(PRODUCT_DRIVER_NAME);
  record.pComment = const_cast<WCHAR*>(TEXT(""));
  record.pPrintProcessor = const_cast<WCHAR*>(kPrintProcessor);
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&record));
  if (printer) {
    LogLine(context, TEXT("OK :)"));
  } else {
    ReportError(context, 15, TEXT("Can`t add printer '%s'"), shown);
  }
  --context->indent;
  return printer;
}

void RestorePrinters(InstallContext* context) {
  int32_t restored = 0;
  for (const SavedPrinter* node = context->savedPrinters; node; node = node->next)
    if (RestorePrinter(context, node)) ++restored;
  if (restored == 0) AddFallbackPrinter(context);
}

}  // namespace inst
