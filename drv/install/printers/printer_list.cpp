#include "printers/printer_list.h"

namespace inst {

void FreePrinterList(PrinterList* list) {
  if (list->entries) GlobalFree(list->entries);
  list->entries = nullptr;
  list->count = 0;
}

}  // namespace inst
