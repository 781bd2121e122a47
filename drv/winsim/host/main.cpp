// The Linux program: boots the machine in $WINSIM_MACHINE (a fresh default machine when the
// directory holds none), restarts it first when $WINSIM_REBOOT is 1, starts the tool as Windows
// would, and saves the machine afterwards.
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "winsim/host.h"
#include "winsim/windows.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);

int main(int argc, char** argv) {
  const char* dir = std::getenv("WINSIM_MACHINE");
  std::string machineDir = dir && *dir ? dir : "machine";
  if (!winsim::LoadMachine(machineDir)) winsim::ResetMachine(machineDir);
  const char* reboot = std::getenv("WINSIM_REBOOT");
  if (reboot && std::string(reboot) == "1") winsim::Reboot();
  winsim::Machine& m = winsim::M();
  std::vector<std::string> args{m.os.modulePath};
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  m.os.commandLine = winsim::JoinCommandLine(args);
  const char* shift = std::getenv("WINSIM_SHIFT");
  m.ui.shiftDown = shift && std::string(shift) == "1";
  m.ui.presenter = isatty(0) && isatty(1) ? winsim::TerminalDialog : winsim::PrintedDialog;
  m.trace.clear();
  auto* instance = reinterpret_cast<HINSTANCE>(uintptr_t(0x140000000));
  std::u16string tail = m.os.commandLine.substr(m.os.commandLine.find(u'"', 1) + 1);
  while (!tail.empty() && tail[0] == u' ') tail.erase(0, 1);
  int code = wWinMain(instance, nullptr, tail.data(), SW_SHOWNORMAL);
  winsim::SaveMachine(machineDir);
  return code;
}
