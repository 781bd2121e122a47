// The product's tray companion: registered in the machine-wide Run key and started after an
// install; asked to quit, waited for and removed before an uninstall. Both operations are silent:
// they write no log and report no error.
#pragma once
#include "core/counted_string.h"

namespace inst {

struct InstallContext;

// "lumtray.exe" in the parent of the tool's directory; null when memory ran out.
CountedString TrayPath(CountedString moduleDir);

// Registers "lumtray.exe" from the parent of the tool's directory as the Run value
// "LumascribeTray" and starts it once, without waiting. Outside server mode only on an NT system
// of version 6 or later.
void StartTrayCompanion(InstallContext* context);

// What StopTrayCompanion does with the executable the Run value names. A reinstall keeps it:
// it starts that same file again at its end.
enum class TrayFile { Delete, Keep };

// Asks a running companion to quit and waits for it to let its mutex go, then deletes the
// executable the Run value names (unless kept) and removes the value.
void StopTrayCompanion(TrayFile file);

}  // namespace inst
