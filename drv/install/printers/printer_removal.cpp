#include "printers/printer_removal.h"

#include "core/install_log.h"
#include "core/product.h"
#include "core/wide.h"
#include "printers/saved_printers.h"

namespace inst {

void DeleteAllPrinters(InstallContext* context) {
  LogLine(context, TEXT(">DeleteAllPrinters"));
  ++context->indent;
  PrinterList& printers = context->printers;
  for (DWORD i = 0; i < printers.count; ++i) {
    PRINTER_INFO_2W* entry = &printers.entries[i];
    if (!StrEqual(entry->pDriverName, PRODUCT_DRIVER_NAME)) continue;
    CapturePrinterSettings(context, entry);
    DeletePrinter(context, entry->pPrinterName);
  }
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
