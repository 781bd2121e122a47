#include "printers/saved_printers.h"

#include <cstring>

#include "core/install_context.h"
#include "printers/settings_key.h"

namespace inst {

namespace {

const size_t kNameArea = 260;

// A node with its own copy of `name`, or null when either block cannot be had.
SavedPrinter* NewNode(const char* name, PRINTER_INFO_2W* entry) {
  auto* node = static_cast<SavedPrinter*>(GlobalAlloc(GPTR, sizeof(SavedPrinter)));
  if (!node) return nullptr;
  size_t bytes = std::strlen(name) + 1;
  node->subKey = static_cast<char*>(GlobalAlloc(GPTR, bytes));
  if (!node->subKey) {
    GlobalFree(node);
    return nullptr;
  }
  std::memcpy(node->subKey, name, bytes);
  node->printerEntry = entry;
  return node;
}

}  // namespace

void CapturePrinterSettings(InstallContext* context, PRINTER_INFO_2W* entry) {
  char name[kNameArea] = {};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(entry->pPrinterName, &printer, nullptr) || !printer) return;
  ReadPrinterSubKey(printer, name);
  // Without memory the printer is only not recreated; its removal goes on.
  if (name[0])
    if (SavedPrinter* node = NewNode(name, entry)) {
      node->next = context->savedPrinters;
      context->savedPrinters = node;
    }
  ClosePrinter(printer);
}

void FreeSavedPrinters(SavedPrinter*& head) {
  while (SavedPrinter* node = head) {
    head = node->next;
    GlobalFree(node->subKey);
    GlobalFree(node);
  }
}

}  // namespace inst
