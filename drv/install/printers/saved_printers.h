// Removed product printers to recreate: each one's settings-key name and its snapshot record.
#pragma once
#include "win32.h"

namespace inst {

struct InstallContext;

struct SavedPrinter {
  char* subKey;                   // owned, ANSI, never empty
  PRINTER_INFO_2W* printerEntry;  // a record of the context's printer snapshot; not owned
  SavedPrinter* next;
};

// Pushes a node for `entry` (a record of the context's printers) onto savedPrinters when the
// printer names a settings key. Logs and reports nothing.
void CapturePrinterSettings(InstallContext* context, PRINTER_INFO_2W* entry);

// Releases every node and its name; never follows printerEntry.
void FreeSavedPrinters(SavedPrinter*& head);

}  // namespace inst
