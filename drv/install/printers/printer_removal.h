// Removal of the product's printers, each one's settings key captured first.
#pragma once
#include "win32.h"

namespace inst {

struct InstallContext;

// Captures and deletes every printer of the context's snapshot whose driver is exactly
// "Lumascribe Server", in snapshot order. A reinstall deletes only printers it captured, after
// recording them with the records an earlier run left (Errors 18, 19), and keeps in
// savedPrinters those to recreate; an uninstall deletes them all and removes the records. The
// snapshot itself stays as it is.
void DeleteAllPrinters(InstallContext* context);

// Purges the printer's jobs and deletes it; reports Error 16 (open) or 17 (delete).
void DeletePrinter(InstallContext* context, const WCHAR* name);

}  // namespace inst
