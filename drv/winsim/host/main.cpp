// The Linux program: boots the machine in $WINSIM_MACHINE (a fresh default machine when the
// directory holds none), restarts it first when $WINSIM_REBOOT is 1, starts the tool as Windows
// would, and saves the machine afterwards. With $WINSIM_STOP_AFTER set to N the tool stops dead
// as it begins its call after its Nth: the machine is saved as the death leaves it (exit 137).
#include <cstdlib>
#include <string>
#include <vector>

#include "winsim/host.h"

int main(int argc, char** argv) {
  const std::string machineDir = winsim::MachineDirectory();
  if (!winsim::OpenMachineDirectory(machineDir)) return winsim::kMachineUnusable;
  const char* reboot = std::getenv("WINSIM_REBOOT");
  if (reboot && std::string(reboot) == "1") winsim::Reboot();
  const char* stop = std::getenv("WINSIM_STOP_AFTER");
  if (stop) winsim::M().os.stopAfterCalls = uint32_t(std::strtoul(stop, nullptr, 10));
  const char* shift = std::getenv("WINSIM_SHIFT");
  std::vector<std::string> args(argv + 1, argv + argc);
  int code = winsim::RunTool(args, shift && std::string(shift) == "1");
  return winsim::SaveMachineDirectory(machineDir) ? code : winsim::kMachineUnusable;
}
