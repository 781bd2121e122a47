#include "probes/product_printer.h"
#include "probes/status_probes.h"

namespace inst {

namespace {

constexpr DWORD kDefaultNameChars = 260;

}  // namespace

bool ProbeDefaultPrinter() {
  WCHAR name[kDefaultNameChars] = {};
  DWORD length = kDefaultNameChars;
  // Only the buffer tells: it stays empty when there is no default or the call failed.
  GetDefaultPrinterW(name, &length);
  HANDLE printer = nullptr;
  if (!name[0] || !OpenPrinterW(name, &printer, nullptr) || !printer) return true;
  PRINTER_INFO_2W* info = GetPrinterInfo2(printer);
  bool isProduct = info && IsProductDriver(info->pDriverName);
  ClosePrinterQuietly(printer);
  if (info) GlobalFree(info);
  return !isProduct;
}

void SetProductPrinterDefault() {
  PrinterList printers{};
  EnumeratePrinters(&printers);
  if (const PRINTER_INFO_2W* product = FirstProductPrinter(printers)) SetDefaultPrinterW(product->pPrinterName);
  FreePrinterList(&printers);
}

}  // namespace inst
