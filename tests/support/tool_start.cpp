#include "support/tool_start.h"

#include "core/entry.h"
#include "winsim/machine.h"

namespace test {

void SetCommandLine(const std::string& arguments) {
  std::string line = "\"" + winsim::M().os.modulePath + "\"";
  if (!arguments.empty()) line += " " + arguments;
  winsim::M().os.commandLine = winsim::Wide(line);
}

int RunTool(const std::string& arguments) {
  SetCommandLine(arguments);
  winsim::M().trace.clear();
  winsim::M().os.processId = 0;  // a new process
  winsim::M().ui.dialogs.clear();
  return inst::Entry(nullptr);
}

}  // namespace test
