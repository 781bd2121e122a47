#include "printers/saved_printers.h"

#include <cstring>

#include "core/install_context.h"
#include "core/wide.h"
#include "printers/settings_key.h"

namespace inst {

namespace {

const size_t kNameArea = 260;
const DWORD kKeptAttributes = PRINTER_ATTRIBUTE_DEFAULT | PRINTER_ATTRIBUTE_SHARED;

// A copy of `bytes` bytes in a zero-filled block; false only when memory ran out.
bool CopyBlock(void** copy, const void* data, size_t bytes) {
  *copy = nullptr;
  if (!data) return true;
  *copy = GlobalAlloc(GPTR, bytes);
  if (!*copy) {
    SetLastError(DWORD(E_OUTOFMEMORY));
    return false;
  }
  std::memcpy(*copy, data, bytes);
  return true;
}

bool CopyText(WCHAR** copy, const WCHAR* text) {
  void* block = nullptr;
  bool copied = CopyBlock(&block, text, text ? (StrLen(text) + 1) * sizeof(WCHAR) : 0);
  *copy = static_cast<WCHAR*>(block);
  return copied;
}

}  // namespace

SavedPrinter* NewSavedPrinter(const WCHAR* name, const char* subKey, const WCHAR* comment, const WCHAR* location,
                              const WCHAR* shareName, DWORD attributes) {
  auto* node = static_cast<SavedPrinter*>(GlobalAlloc(GPTR, sizeof(SavedPrinter)));
  if (!node) {
    SetLastError(DWORD(E_OUTOFMEMORY));
    return nullptr;
  }
  void* key = nullptr;
  bool copied = CopyText(&node->name, name) && CopyBlock(&key, subKey, subKey ? std::strlen(subKey) + 1 : 0);
  node->subKey = static_cast<char*>(key);
  copied = copied && CopyText(&node->comment, comment) && CopyText(&node->location, location) &&
           CopyText(&node->shareName, shareName);
  node->attributes = attributes & kKeptAttributes;
  if (copied) return node;
  FreeSavedPrinter(node);
  SetLastError(DWORD(E_OUTOFMEMORY));
  return nullptr;
}

DWORD CapturePrinterSettings(InstallContext* context, const PRINTER_INFO_2W* entry, SavedPrinter** node) {
  *node = nullptr;
  // Without the default printer's name the printer's default status is unknown.
  if (context->defaultPrinterError) return context->defaultPrinterError;
  HANDLE printer = nullptr;
  if (!OpenPrinterW(entry->pPrinterName, &printer, nullptr) || !printer) {
    DWORD error = GetLastError();
    return error ? error : DWORD(ERROR_INVALID_HANDLE);
  }
  char name[kNameArea] = {};
  DWORD error = ReadPrinterSubKey(printer, name);
  if (error == ERROR_SUCCESS) {
    *node = NewSavedPrinter(entry->pPrinterName, name[0] ? name : nullptr, entry->pComment, entry->pLocation,
                            entry->pShareName, entry->Attributes);
    if (!*node) error = DWORD(E_OUTOFMEMORY);
  }
  ClosePrinter(printer);
  return error;
}

SavedPrinter* FindSavedPrinter(SavedPrinter* head, const WCHAR* name) {
  for (SavedPrinter* node = head; node; node = node->next)
    if (StrEqual(node->name, name)) return node;
  return nullptr;
}

void FreeSavedPrinter(SavedPrinter* node) {
  if (!node) return;
  void* blocks[] = {node->name, node->subKey, node->comment, node->location, node->shareName};
  for (void* block : blocks)
    if (block) GlobalFree(block);
  GlobalFree(node);
}

void FreeSavedPrinters(SavedPrinter*& head) {
  while (SavedPrinter* node = head) {
    head = node->next;
    FreeSavedPrinter(node);
  }
}

}  // namespace inst
