// The spooler's printers at level 2, as one block owned by the list, and the context's
// snapshot of them with the default printer marked.
#pragma once
#include "win32.h"

namespace inst {

struct InstallContext;

struct PrinterList {
  PRINTER_INFO_2W* entries;  // count records, then their strings; null when empty
  DWORD count;
};

// Local printers and connections. Empty when there are none or the enumeration failed (false;
// the last error then tells why); never retried.
bool EnumeratePrinters(PrinterList* list);
void FreePrinterList(PrinterList* list);

// A connection is another machine's printer: a change made through it reaches that machine, so
// the tool only reads it. A record with a server name, or a name starting with two backslashes.
bool IsConnection(const PRINTER_INFO_2W& entry);
bool IsConnectionName(const WCHAR* name);

// Fills the context's printers and sets PRINTER_ATTRIBUTE_DEFAULT on every record named
// exactly like the default printer. Only the snapshot changes. When the default printer cannot
// be read (there being none is no failure), defaultPrinterError says why; printersUnread says
// whether the printers could not.
void MarkDefaultPrinter(InstallContext* context);

// One open printer's level-2 record in a zero-filled block the caller releases with
// GlobalFree, or null.
PRINTER_INFO_2W* GetPrinterInfo2(HANDLE printer);

}  // namespace inst
