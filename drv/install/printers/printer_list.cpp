#include "printers/printer_list.h"

#include "core/install_context.h"
#include "core/wide.h"

namespace inst {

namespace {

const DWORD kAllPrinters = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
const DWORD kDefaultNameChars = 255;

}  // namespace

bool EnumeratePrinters(PrinterList* list) {
  FreePrinterList(list);
  DWORD needed = 0;
  if (EnumPrintersW(kAllPrinters, nullptr, 2, nullptr, 0, &needed, &list->count)) {
    list->count = 0;  // nothing was handed over, whatever the spooler counted
    return true;
  }
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    list->count = 0;
    return false;
  }
  list->entries = static_cast<PRINTER_INFO_2W*>(GlobalAlloc(GPTR, SIZE_T(needed) + 32));
  if (!list->entries) {
    list->count = 0;
    SetLastError(DWORD(E_OUTOFMEMORY));
    return false;
  }
  // The spooler is offered the size it asked for, not the block's: the 32 bytes stay spare.
  if (EnumPrintersW(kAllPrinters, nullptr, 2, reinterpret_cast<LPBYTE>(list->entries), needed, &needed,
                    &list->count))
    return true;
  FreePrinterList(list);
  return false;
}

void FreePrinterList(PrinterList* list) {
  if (list->entries) GlobalFree(list->entries);
  list->entries = nullptr;
  list->count = 0;
}

bool IsConnectionName(const WCHAR* name) { return name && name[0] == '\\' && name[1] == '\\'; }

bool IsConnection(const PRINTER_INFO_2W& entry) {
  return (entry.pServerName && entry.pServerName[0]) || IsConnectionName(entry.pPrinterName);
}

void MarkDefaultPrinter(InstallContext* context) {
  PrinterList& printers = context->printers;
  context->printersUnread = !EnumeratePrinters(&printers);
  WCHAR name[kDefaultNameChars] = {};
  DWORD length = kDefaultNameChars;
  if (!GetDefaultPrinterW(name, &length)) {
    // No default printer is an answer; any other failure leaves every default status unknown.
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) context->defaultPrinterError = error ? error : DWORD(ERROR_INVALID_FUNCTION);
    return;
  }
  for (DWORD i = 0; i < printers.count; ++i)
    if (StrEqual(printers.entries[i].pPrinterName, name))
      printers.entries[i].Attributes |= PRINTER_ATTRIBUTE_DEFAULT;
}

PRINTER_INFO_2W* GetPrinterInfo2(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return nullptr;
  auto* info = static_cast<PRINTER_INFO_2W*>(GlobalAlloc(GPTR, needed));
  if (!info) {
    SetLastError(DWORD(E_OUTOFMEMORY));
    return nullptr;
  }
  if (!GetPrinterW(printer, 2, reinterpret_cast<LPBYTE>(info), needed, &needed)) {
    GlobalFree(info);
    return nullptr;
  }
  return info;
}

}  // namespace inst
