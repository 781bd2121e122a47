// Creation of printers on the product's port and driver, and the recreation of the printers
// the removal captured.
#pragma once
#include "win32.h"

namespace inst {

struct InstallContext;

// A new printer named `name` on "LumascribeServer:" with "Lumascribe Server"; its handle (the
// caller closes it) or null after Error 15. Logs whether the product monitor is there first,
// and adds the printer either way.
HANDLE AddPrinter(InstallContext* context, const WCHAR* name);

// Recreates each printer of savedPrinters, from the head, with its settings key, comment,
// location, default status and, in server mode, its share, reporting each step that fails
// (Error 20). A printer recreated with every setting leaves savedPrinters and the recovery
// records. When none could be recreated and the reinstall kept none (nor, unable to list the
// printers, left any unseen), one printer "lumServer".
void RestorePrinters(InstallContext* context);

}  // namespace inst
