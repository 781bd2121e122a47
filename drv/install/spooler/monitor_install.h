// Puts the product's port monitor in place: its DLL in the system directory, its registration
// with the spooler, and the port of the printers its removal moved to "file:".
#pragma once

namespace inst {

struct InstallContext;

// Copies the DLL unless CopyMonitor is clear (a failed copy is retried, reporting, while the
// spooler is stopped), registers "LumascribeServer:" (5 attempts 50 ms apart, then Error 11),
// and gives the redirected printers their port back.
void AddMonitor(InstallContext* context);

}  // namespace inst
