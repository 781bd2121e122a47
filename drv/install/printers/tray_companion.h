// The product's tray companion: registered in the machine-wide Run key and started after an
// install as the user at the desktop; asked to quit, waited for and removed before an uninstall.
// Neither reports an error; the start logs one line when it leaves the start to the next sign-in.
#pragma once
#include "core/counted_string.h"

namespace inst {

struct InstallContext;

// "lumtray.exe" in the parent of the tool's directory; null when memory ran out.
CountedString TrayPath(CountedString moduleDir);

// Registers "lumtray.exe" from the parent of the tool's directory as the Run value
// "LumascribeTray" and starts it once, without waiting, with the token of the unelevated shell
// of this session's desktop; never with the tool's own. Outside server mode only on an NT
// system of version 6 or later.
void StartTrayCompanion(InstallContext* context);

// What StopTrayCompanion does with the executable the Run value names. A reinstall keeps it:
// it starts that same file again at its end.
enum class TrayFile { Delete, Keep };

// Asks a running companion to quit and waits for it to let its mutex go, then deletes the
// executable the Run value names (unless kept) and removes the value.
void StopTrayCompanion(TrayFile file);

}  // namespace inst
