#include "printers/printer_removal.h"

#include "core/install_log.h"
#include "core/product.h"
#include "core/wide.h"
#include "printers/printer_records.h"
#include "printers/saved_printers.h"

namespace inst {

namespace {

// A connection of the product driver is another machine's printer: never captured or deleted.
bool IsProductPrinter(const PRINTER_INFO_2W& entry) {
  return StrEqual(entry.pDriverName, PRODUCT_DRIVER_NAME) && !IsConnection(entry);
}

bool InSnapshot(const PrinterList& printers, const WCHAR* name) {
  for (DWORD i = 0; i < printers.count; ++i)
    if (StrEqual(printers.entries[i].pPrinterName, name)) return true;
  return false;
}

// Captures every product printer of the snapshot; the chain runs backwards. A printer whose
// capture failed gets no node and so stays; only a reinstall, which recreates them, reports it.
SavedPrinter* CaptureAll(InstallContext* context, bool report) {
  SavedPrinter* captured = nullptr;
  PrinterList& printers = context->printers;
  for (DWORD i = 0; i < printers.count; ++i) {
    const PRINTER_INFO_2W& entry = printers.entries[i];
    if (!IsProductPrinter(entry)) continue;
    SavedPrinter* node = nullptr;
    if (DWORD error = CapturePrinterSettings(context, &entry, &node)) {
      if (report) {
        SetLastError(error);
        ReportError(context, 18, TEXT("Can`t read the settings of printer '%s'"), entry.pPrinterName);
      }
      continue;
    }
    node->next = captured;
    captured = node;
  }
  return captured;
}

// Joins the records an earlier run left to this run's captures. A record whose printer is
// still there is not created twice: when this run captured that printer, the record's
// settings, which the earlier run could not give back in full, replace the capture's. A record
// of a connection (an earlier version kept them) could never be created here: it goes.
void MergeLeftovers(InstallContext* context, SavedPrinter*& captured, SavedPrinter* leftovers) {
  SavedPrinter** tail = &captured;
  while (*tail) tail = &(*tail)->next;
  while (SavedPrinter* record = leftovers) {
    leftovers = record->next;
    record->next = nullptr;
    SavedPrinter* live = FindSavedPrinter(captured, record->name);
    if (live) {
      SavedPrinter settings = *record;
      *record = *live;
      record->next = nullptr;
      settings.next = live->next;
      *live = settings;
      FreeSavedPrinter(record);  // now with the capture's texts
    } else if (InSnapshot(context->printers, record->name) || IsConnectionName(record->name)) {
      FreeSavedPrinter(record);
    } else {
      *tail = record;
      tail = &record->next;
    }
  }
}

// Which snapshot entries the chain holds, one byte each, found in one walk: the chain runs
// backwards through the snapshot (records of printers not in it follow). Null without memory.
BYTE* MarkCaptured(const PrinterList& printers, const SavedPrinter* chain) {
  auto* marks = static_cast<BYTE*>(GlobalAlloc(GPTR, printers.count ? printers.count : 1));
  if (!marks) return nullptr;
  for (DWORD i = printers.count; i-- > 0 && chain;)
    if (StrEqual(chain->name, printers.entries[i].pPrinterName)) {
      marks[i] = 1;
      chain = chain->next;
    }
  return marks;
}

// Leaves in savedPrinters only the printers that are to be recreated.
void KeepRecreated(InstallContext* context, SavedPrinter* chain) {
  SavedPrinter** tail = &context->savedPrinters;
  while (*tail) tail = &(*tail)->next;
  while (SavedPrinter* node = chain) {
    chain = node->next;
    node->next = nullptr;
    if (node->subKey) {
      *tail = node;
      tail = &node->next;
    } else {
      FreeSavedPrinter(node);
    }
  }
}

// A reinstall deletes a product printer only once it is captured and, with every other
// captured printer, recorded on the machine: a run that fails before recreating it cannot lose
// it. Returns the chain of the printers it may delete.
SavedPrinter* CaptureForReinstall(InstallContext* context, bool* recorded) {
  SavedPrinter* leftovers = nullptr;
  DWORD error = ReadPrinterRecords(&leftovers);
  if (error) ReportRecordError(context, error);
  SavedPrinter* captured = CaptureAll(context, true);
  MergeLeftovers(context, captured, leftovers);
  // Unreadable records must not be overwritten; malformed ones hold nothing to recreate.
  *recorded = error == ERROR_SUCCESS || error == ERROR_INVALID_DATA;
  if (*recorded) {
    error = WritePrinterRecords(captured);
    *recorded = error == ERROR_SUCCESS;
    if (!*recorded) ReportRecordError(context, error);
  }
  return captured;
}

}  // namespace

void DeleteAllPrinters(InstallContext* context) {
  LogLine(context, TEXT(">DeleteAllPrinters"));
  ++context->indent;
  // Only a reinstall checks the monitor's build, and only a reinstall recreates printers.
  bool reinstall = context->checkMonitorVersion;
  bool recorded = false;
  SavedPrinter* captured = reinstall ? CaptureForReinstall(context, &recorded) : CaptureAll(context, false);
  PrinterList& printers = context->printers;
  BYTE* inChain = reinstall ? MarkCaptured(printers, captured) : nullptr;
  for (DWORD i = 0; i < printers.count; ++i) {
    PRINTER_INFO_2W* entry = &printers.entries[i];
    if (!IsProductPrinter(*entry)) continue;
    bool inCapture = inChain ? inChain[i] != 0 : reinstall && FindSavedPrinter(captured, entry->pPrinterName);
    if (reinstall && (!recorded || !inCapture)) {
      ++context->keptPrinters;
      continue;
    }
    DeletePrinter(context, entry->pPrinterName);
  }
  if (inChain) GlobalFree(inChain);
  if (reinstall && recorded) {
    KeepRecreated(context, captured);
  } else {
    FreeSavedPrinters(captured);
  }
  // An uninstall recreates nothing: the records go with the printers.
  if (!reinstall)
    if (DWORD error = WritePrinterRecords(nullptr)) ReportRecordError(context, error);
  --context->indent;
}

void DeletePrinter(InstallContext* context, const WCHAR* name) {
  const WCHAR* shown = name ? name : TEXT("*");
  LogLine(context, TEXT(">DeletePrinter(%s)"), shown);
  ++context->indent;
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, DELETE | PRINTER_ACCESS_ADMINISTER};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<WCHAR*>(name), &printer, &defaults)) {
    ReportError(context, 16, TEXT("Can`t open printer '%s'"), shown);
    --context->indent;
    return;
  }
  // Queued jobs would keep the printer until they are printed.
  SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE);
  if (::DeletePrinter(printer)) {
    LogLine(context, TEXT("OK"));
  } else {
    ReportError(context, 17, TEXT("Can`t delete printer '%s'"), shown);
  }
  ClosePrinter(printer);
  --context->indent;
}

}  // namespace inst
