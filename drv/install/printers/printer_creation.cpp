#include "printers/printer_creation.h"

#include <cstring>

#include "core/install_log.h"
#include "core/product.h"
#include "core/wide.h"
#include "printers/printer_list.h"
#include "printers/printer_records.h"
#include "printers/saved_printers.h"
#include "printers/settings_key.h"
#include "probes/product_printer.h"
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

bool SharePrinter(HANDLE printer, PRINTER_INFO_2W* record, const WCHAR* shareName) {
  record->Attributes |= PRINTER_ATTRIBUTE_SHARED;
  record->pShareName = const_cast<WCHAR*>(shareName);
  return SetPrinterW(printer, 2, reinterpret_cast<LPBYTE>(record), 0) != FALSE;
}

// Reports a restore step that failed, while its error is the last error; true when it did not.
bool Restored(InstallContext* context, bool done, const WCHAR* name) {
  if (!done) ReportError(context, 20, TEXT("Can`t restore the settings of printer '%s'"), name);
  return done;
}

// The settings key goes back first: once the new printer holds it, the user's settings under
// it are no longer marked as those of a deleted printer.
bool RestoreSettingsKey(InstallContext* context, HANDLE printer, const SavedPrinter* node) {
  if (!Restored(context, WritePrinterSubKey(printer, node->subKey), node->name)) return false;
  char path[kPathArea] = {};
  std::memcpy(path, SETTINGS_KEY_PREFIX, kSettingsKeyPrefixChars);
  DWORD error = ReadPrinterSubKey(printer, path + kSettingsKeyPrefixChars);
  if (error) SetLastError(error);
  if (!Restored(context, error == ERROR_SUCCESS, node->name)) return false;
  if (path[kSettingsKeyPrefixChars]) ClearDeletedMark(path);
  return true;
}

enum class Recreated { No, InPart, Whole };

// Whether the printer was created again, and with every setting; each step that fails is
// reported and the others are still tried.
Recreated RestorePrinter(InstallContext* context, const SavedPrinter* node) {
  HANDLE printer = AddPrinter(context, node->name);
  if (!printer) return Recreated::No;
  bool whole = RestoreSettingsKey(context, printer, node);
  PRINTER_INFO_2W* record = GetPrinterInfo2(printer);
  whole = Restored(context, record != nullptr, node->name) && whole;
  if (record) {
    record->pComment = node->comment;
    record->pLocation = node->location;
    whole = Restored(context, SetPrinterW(printer, 2, reinterpret_cast<LPBYTE>(record), 0) != FALSE, node->name) &&
            whole;
    if (node->attributes & PRINTER_ATTRIBUTE_DEFAULT)
      whole = Restored(context, SetDefaultPrinterW(record->pPrinterName) != FALSE, node->name) && whole;
    if (context->serverMode)
      whole = Restored(context,
                       SharePrinter(printer, record, HasText(node->shareName) ? node->shareName : node->name),
                       node->name) &&
              whole;
    GlobalFree(record);
  }
  ClosePrinter(printer);
  return whole ? Recreated::Whole : Recreated::InPart;
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

// Whether a printer of the product driver is there; one that cannot be known counts as there.
bool ProductPrinterThere() {
  PrinterList printers{};
  bool there = !EnumeratePrinters(&printers) || FirstProductPrinter(printers) != nullptr;
  FreePrinterList(&printers);
  return there;
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
  bool done = false;
  SavedPrinter** link = &context->savedPrinters;
  while (SavedPrinter* node = *link) {
    Recreated result = RestorePrinter(context, node);
    if (result != Recreated::No) ++restored;
    // A printer not recreated with every setting keeps its record for the next install.
    if (result != Recreated::Whole) {
      link = &node->next;
      continue;
    }
    *link = node->next;
    FreeSavedPrinter(node);
    done = true;
  }
  // The records are rewritten once, not after each printer (that would grow with the square of
  // the printers). Should the run end before, a record whose printer is back only restores the
  // same settings again.
  if (done)
    if (DWORD error = WritePrinterRecords(context->savedPrinters)) ReportRecordError(context, error);
  // Product printers left in place need no stand-in, nor do those the removal could not see.
  if (restored == 0 && context->keptPrinters == 0 && !(context->printersUnread && ProductPrinterThere()))
    AddFallbackPrinter(context);
}

}  // namespace inst
