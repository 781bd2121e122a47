// The Linux programs' side of the machine: its directory, the tool's start, and how dialogs reach
// the person at the terminal.
#pragma once
#include <string>
#include <vector>

#include "winsim/machine.h"

namespace winsim {

// The exit code of a program whose machine directory cannot be used; no command word has it.
constexpr int kMachineUnusable = 125;
// The directory $WINSIM_MACHINE names, else "machine".
std::string MachineDirectory();
// Takes `dir` for this process, made when missing, waiting while another program has it. False
// after one line on standard error.
bool LockMachineDirectory(const std::string& dir);
// Takes `dir` for this process (waiting while another program has it) and loads its machine,
// or a fresh default machine when it holds no machine.json. False, after one line on standard
// error, when the directory or its machine cannot be used; it is then left as it was.
bool OpenMachineDirectory(const std::string& dir);
// Saves the machine into `dir`; false after one line on standard error.
bool SaveMachineDirectory(const std::string& dir);
// machine.json as SaveMachine writes it.
std::string MachineJson();

// A full-screen terminal window: title, the log read-only and scrollable, a default Close
// button. Enter closes it with IDOK, Escape with IDCANCEL.
int TerminalDialog(const DialogRecord& dialog);
// Without a terminal: the title on one line, then the log as it is, and IDOK.
int PrintedDialog(const DialogRecord& dialog);

// Runs the tool (its wWinMain, which the program links) with `arguments` after its own name,
// Shift held when `shift` is set, its dialogs shown on the terminal or printed; its exit code.
int RunTool(const std::vector<std::string>& arguments, bool shift);

// A Windows command line that CommandLineToArgvW splits back into exactly `args`.
std::u16string JoinCommandLine(const std::vector<std::string>& args);

}  // namespace winsim
