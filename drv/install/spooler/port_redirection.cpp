#include "spooler/port_redirection.h"

#include "core/install_log.h"
#include "core/product.h"
#include "core/wide.h"

namespace inst {

namespace {

const WCHAR kFilePort[] = TEXT("file:");
const size_t kFileChars = 5;
const size_t kProductChars = 17;

// Moves `count` characters within one string, overlapping or not.
void MoveChars(WCHAR* to, const WCHAR* from, size_t count) {
  if (to < from) {
    for (size_t i = 0; i < count; ++i) to[i] = from[i];
  } else {
    for (size_t i = count; i > 0; --i) to[i - 1] = from[i - 1];
  }
}

}  // namespace

bool RedirectPortToFile(WCHAR* port) {
  WCHAR* at = port ? StrFind(port, PRODUCT_MONITOR_NAME) : nullptr;
  if (!at) return false;
  const WCHAR* rest = at + kProductChars;
  size_t restChars = StrLen(rest) + 1;
  MoveChars(at, kFilePort, kFileChars);
  MoveChars(at + kFileChars, rest, restChars);
  return true;
}

bool RestorePortFromFile(WCHAR* port) {
  WCHAR* at = port ? StrFind(port, kFilePort) : nullptr;
  if (!at) return false;
  WCHAR* rest = at + kFileChars;
  MoveChars(rest + (kProductChars - kFileChars), rest, StrLen(rest) + 1);
  MoveChars(at, PRODUCT_MONITOR_NAME, kProductChars);
  return true;
}

void WriteBackPrinter(InstallContext* context, PRINTER_INFO_2W* printer) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE handle = nullptr;
  if (!OpenPrinterW(printer->pPrinterName, &handle, &defaults)) {
    LogLine(context, TEXT("Can't open printer %s"), static_cast<const WCHAR*>(printer->pPrinterName));
    return;
  }
  if (SetPrinterW(handle, 2, reinterpret_cast<LPBYTE>(printer), 0))
    LogLine(context, TEXT("SetPrinter(%s) - ok"), static_cast<const WCHAR*>(printer->pPrinterName));
  else
    LogLine(context, TEXT("SetPrinter(%s) - failed"), static_cast<const WCHAR*>(printer->pPrinterName));
  ClosePrinter(handle);
}

}  // namespace inst
