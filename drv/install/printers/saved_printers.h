// Removed product printers to recreate: each one's name and the settings it had, in blocks of
// its own, so that a printer read back from the recovery records is recreated like one just
// captured.
#pragma once
#include "win32.h"

namespace inst {

struct InstallContext;

struct SavedPrinter {
  WCHAR* name;       // owned
  char* subKey;      // owned, ANSI; null only for a printer that is deleted and not recreated
  WCHAR* comment;    // owned; null when the printer had none
  WCHAR* location;   // owned; null when none
  WCHAR* shareName;  // owned; null when none
  DWORD attributes;  // of PRINTER_ATTRIBUTE_DEFAULT and PRINTER_ATTRIBUTE_SHARED, as it had them
  SavedPrinter* next;
};

// The settings of the snapshot record `entry`, with its settings key read from the printer, in
// a new unlinked node (subKey null when the printer has no usable settings key). Returns
// ERROR_SUCCESS, or the error of the call that failed (the node is then null): a settings key
// that is simply not there is no failure. Logs and reports nothing.
DWORD CapturePrinterSettings(InstallContext* context, const PRINTER_INFO_2W* entry, SavedPrinter** node);

// A node with copies of the given texts (null ones stay null), or null with the last error set
// when memory ran out.
SavedPrinter* NewSavedPrinter(const WCHAR* name, const char* subKey, const WCHAR* comment, const WCHAR* location,
                              const WCHAR* shareName, DWORD attributes);
// The node of the chain named exactly `name`, or null.
SavedPrinter* FindSavedPrinter(SavedPrinter* head, const WCHAR* name);
void FreeSavedPrinter(SavedPrinter* node);
// Releases every node with its texts and leaves `head` null.
void FreeSavedPrinters(SavedPrinter*& head);

}  // namespace inst
