// How the Linux program presents the machine's dialogs to the person at the terminal.
#pragma once
#include "winsim/machine.h"

namespace winsim {

// A full-screen terminal window: title, the log read-only and scrollable, a default Close
// button. Enter closes it with IDOK, Escape with IDCANCEL.
int TerminalDialog(const DialogRecord& dialog);
// Without a terminal: the title on one line, then the log as it is, and IDOK.
int PrintedDialog(const DialogRecord& dialog);

// A Windows command line that CommandLineToArgvW splits back into exactly `args`.
std::u16string JoinCommandLine(const std::vector<std::string>& args);

}  // namespace winsim
