// Removal of the product's printers, each one's settings key captured first.
#pragma once
#include "win32.h"

namespace inst {

struct InstallContext;

// Captures and deletes every printer of the context's snapshot whose driver is exactly
// "Lumascribe Server", in snapshot order. The snapshot itself stays as it is.
void DeleteAllPrinters(InstallContext* context);

// Purges the printer's jobs and deletes it; reports Error 16 (open) or 17 (delete).
void DeletePrinter(InstallContext* context, const WCHAR* name);

}  // namespace inst
