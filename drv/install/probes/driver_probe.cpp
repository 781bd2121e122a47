#include "probes/product_printer.h"
#include "probes/status_probes.h"
#include "system/file_version.h"

namespace inst {

namespace {

// Builds after this one carry the driver the setup considers current.
constexpr int32_t kLastOutdatedBuild = 2450;

}  // namespace

DRIVER_INFO_2W* GetDriverInfo2(HANDLE printer) {
  DWORD needed = 0;
  WCHAR environment[] = TEXT("Windows x64");
  GetPrinterDriverW(printer, environment, 2, nullptr, 0, &needed);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return nullptr;
  auto* info = static_cast<DRIVER_INFO_2W*>(GlobalAlloc(GPTR, needed));
  if (!info) {
    SetLastError(DWORD(E_OUTOFMEMORY));
    return nullptr;
  }
  // No environment: the caller's own, which for this x64 tool is the one sized above.
  if (!GetPrinterDriverW(printer, nullptr, 2, reinterpret_cast<LPBYTE>(info), needed, &needed)) {
    GlobalFree(info);
    return nullptr;
  }
  return info;
}

void ClosePrinterQuietly(HANDLE printer) { ClosePrinter(printer); }

bool ProbeDriverVersion() {
  PrinterList printers{};
  EnumeratePrinters(&printers);
  const PRINTER_INFO_2W* product = FirstProductPrinter(printers);
  HANDLE printer = nullptr;
  if (!product || !OpenPrinterW(product->pPrinterName, &printer, nullptr)) {
    FreePrinterList(&printers);
    return false;
  }
  DRIVER_INFO_2W* info = GetDriverInfo2(printer);
  bool current = info && info->pDriverPath && GetFileBuildNumber(info->pDriverPath) > kLastOutdatedBuild;
  ClosePrinterQuietly(printer);
  if (info) GlobalFree(info);
  FreePrinterList(&printers);
  return current;
}

}  // namespace inst
