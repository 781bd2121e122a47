// Starting the tool in the loaded machine as Windows starts a program.
#include <unistd.h>

#include "winsim/host.h"
#include "winsim/windows.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);

namespace winsim {

int RunTool(const std::vector<std::string>& arguments, bool shift) {
  Machine& m = M();
  std::vector<std::string> args{m.os.modulePath};
  args.insert(args.end(), arguments.begin(), arguments.end());
  m.os.commandLine = JoinCommandLine(args);
  m.ui.shiftDown = shift;
  m.ui.presenter = isatty(0) && isatty(1) ? TerminalDialog : PrintedDialog;
  m.trace.clear();
  m.os.processId = 0;  // a new process
  auto* instance = reinterpret_cast<HINSTANCE>(uintptr_t(0x140000000));
  std::u16string tail = m.os.commandLine.substr(m.os.commandLine.find(u'"', 1) + 1);
  while (!tail.empty() && tail[0] == u' ') tail.erase(0, 1);
  return wWinMain(instance, nullptr, tail.data(), SW_SHOWNORMAL);
}

}  // namespace winsim
