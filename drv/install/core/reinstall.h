// Every install command: the product removed with its printers' settings captured, then
// installed afresh.
#pragma once
#include "win32.h"

namespace inst {

struct InstallContext;
struct LogFile;

void ReInstall(InstallContext* context);

// The install commands' frame: context, ReInstall, deletions left for the restart, log window.
// 100 when an error was reported, 101 when a file waits for the restart, else 1.
int InstallCommand(HWND owner, LogFile* file);

}  // namespace inst
