// Moving printers off the product monitor's port while the monitor is replaced, and back: the
// port strings are rewritten in place in the printer snapshot, then handed to the spooler.
#pragma once
#include "win32.h"

namespace inst {

struct InstallContext;

// The first "LumascribeServer:" becomes "file:"; the string shrinks by 12 characters and the
// storage behind its new end is left alone. Whether it changed.
bool RedirectPortToFile(WCHAR* port);
// The first "file:" becomes "LumascribeServer:"; the string grows by 12 characters, so it needs
// the room of a string that RedirectPortToFile shrank. Whether it changed.
bool RestorePortFromFile(WCHAR* port);

// Writes the whole snapshot record back to its printer and logs the outcome; failures are only
// logged.
void WriteBackPrinter(InstallContext* context, PRINTER_INFO_2W* printer);

}  // namespace inst
