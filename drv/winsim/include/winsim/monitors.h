// The spooler's port monitors and the ports they provide.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "winsim/file_state.h"
#include "winsim/named_list.h"
#include "winsim/win_types.h"

namespace winsim {

struct PortMonitor {
  std::string name;
  std::string environment = "Windows x64";
  std::string dllName;             // a file in the system directory
  std::vector<std::string> ports;  // what the loaded DLL reports
};

using MonitorList = NamedList<PortMonitor, &PortMonitor::name>;

struct MonitorState {
  MonitorList monitors;
  // The ports a monitor reports as soon as AddMonitorW has loaded it, by monitor name (what its
  // DLL would answer to EnumPorts).
  std::map<std::string, std::vector<std::string>> portsOfNewMonitor;
};

// The usual monitors of a Windows x64 installation, and the product monitor's port.
MonitorState DefaultMonitors();

// The installed monitor named `name` (case-insensitive), or null.
PortMonitor* FindMonitor(const std::string& name);
// Whether some installed monitor provides `port` (case-insensitive).
bool PortExists(const std::string& port);
// The ports of a printer's port list ("LPT1:,LPT2:"), empty entries left out.
std::vector<std::string> SplitPorts(const std::string& portList);

// The running spooler keeps every installed monitor's DLL loaded: the hold on `windowsPath`
// while the spooler process is up, or null.
const FileHold* MonitorHold(const std::string& windowsPath);

}  // namespace winsim
