// The spooler's printers at level 2, as one block owned by the list.
#pragma once
#include "win32.h"

namespace inst {

struct PrinterList {
  PRINTER_INFO_2W* entries;  // count records, then their strings; null when empty
  DWORD count;
};

void FreePrinterList(PrinterList* list);

}  // namespace inst
