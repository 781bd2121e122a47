// winspool: the port monitors, the ports they provide and the DLLs the spooler keeps loaded.
#include "winsim/monitors.h"

#include <cstring>

#include "winsim/machine.h"
#include "winsim/pe_image.h"
#include "winsim/version_files.h"
#include "winsim/record_strings.h"
#include "winsim/windows.h"

using namespace winsim;

namespace {

const char kNativeEnvironment[] = "Windows x64";

// One record of `level` at `at` (null: only counts its strings).
void PackMonitor(const PortMonitor& monitor, DWORD level, LPBYTE at, StringPacker& strings) {
  if (level == 1) {
    MONITOR_INFO_1W record{strings.Put(Plain(monitor.name))};
    return StoreRecord(at, record);
  }
  MONITOR_INFO_2W record{};
  record.pName = strings.Put(Plain(monitor.name));
  record.pEnvironment = strings.Put(Plain(monitor.environment));
  record.pDLLName = strings.Put(Plain(monitor.dllName));
  StoreRecord(at, record);
}

DWORD RecordBytes(const PortMonitor& monitor, DWORD level) {
  StringPacker counter(nullptr, 0);
  PackMonitor(monitor, level, nullptr, counter);
  return (level == 1 ? sizeof(MONITOR_INFO_1W) : sizeof(MONITOR_INFO_2W)) + counter.bytes();
}

// Records from the start of the buffer, their strings packed behind them.
void PackMonitors(const MonitorList& monitors, DWORD level, LPBYTE buffer, DWORD size) {
  StringPacker strings(buffer, size);
  DWORD stride = level == 1 ? sizeof(MONITOR_INFO_1W) : sizeof(MONITOR_INFO_2W);
  LPBYTE at = buffer;
  for (const PortMonitor& monitor : monitors) {
    PackMonitor(monitor, level, at, strings);
    at += stride;
  }
}

bool Empty(LPCWSTR text) { return !text || !*text; }

// A monitor's DLL as the spooler loads it: from the system directory.
std::string SystemFile(const std::string& name) { return M().os.systemDir + "\\" + name; }

// Why the spooler cannot load `path` as a monitor, or 0: missing (126), not an x64 DLL (193), or
// without either entry point (127; Wine's conformance tests see 127 for version.dll).
DWORD MonitorDllError(const std::string& path) {
  std::string image;
  if (!MachineFileExists(path) || !ReadMachineFile(path, &image)) return ERROR_MOD_NOT_FOUND;
  DWORD error = FindExport(image, kMonitorEntry);
  if (error == ERROR_PROC_NOT_FOUND) error = FindExport(image, "InitializePrintMonitor");  // older monitors
  return error;
}

bool KnownEnvironment(const std::string& environment) {
  for (const auto& entry : M().spooler.driverDirs)
    if (EqualNoCase(entry.first, environment)) return true;
  return false;
}

bool InUse(const PortMonitor& monitor) {
  for (const Printer& printer : M().spooler.printers) {
    if (printer.connection) continue;
    for (const std::string& port : SplitPorts(printer.portName))
      for (const std::string& own : monitor.ports)
        if (EqualNoCase(port, own)) return true;
  }
  return false;
}

}  // namespace

namespace winsim {

MonitorState DefaultMonitors() {
  MonitorState state;
  state.monitors = {
      {"Appmon", kNativeEnvironment, "AppMon.dll", {}},
      {"Local Port", kNativeEnvironment, "localspl.dll",
       {"COM1:", "COM2:", "COM3:", "COM4:", "FILE:", "LPT1:", "LPT2:", "LPT3:", "PORTPROMPT:",
        "SHRFAX:", "nul:"}},
      {"Standard TCP/IP Port", kNativeEnvironment, "tcpmon.dll", {}},
      {"USB Monitor", kNativeEnvironment, "usbmon.dll", {}},
      {"WSD Port", kNativeEnvironment, "WSDMon.dll", {}},
  };
  state.portsOfNewMonitor["LumascribeServer:"] = {"LumascribeServer:"};
  return state;
}

PortMonitor* FindMonitor(const std::string& name) { return M().monitors.monitors.Find(name); }

bool PortExists(const std::string& port) {
  for (const PortMonitor& monitor : M().monitors.monitors)
    for (const std::string& own : monitor.ports)
      if (EqualNoCase(own, port)) return true;
  return false;
}

std::vector<std::string> SplitPorts(const std::string& portList) {
  std::vector<std::string> ports;
  size_t start = 0;
  for (size_t comma; start <= portList.size(); start = comma + 1) {
    comma = portList.find(',', start);
    if (comma == std::string::npos) comma = portList.size();
    if (comma > start) ports.push_back(portList.substr(start, comma - start));
  }
  return ports;
}

const FileHold* MonitorHold(const std::string& windowsPath) {
  const Service* spooler = FindService("Spooler");
  if (!spooler || spooler->state == SERVICE_STOPPED) return nullptr;
  std::filesystem::path target = ResolvePath(windowsPath).path;
  for (const PortMonitor& monitor : M().monitors.monitors) {
    if (ResolvePath(SystemFile(monitor.dllName)).path != target) continue;
    static FileHold hold;
    hold = FileHold{windowsPath, "spooler", UINT64_MAX, ERROR_ACCESS_DENIED};
    return &hold;
  }
  return nullptr;
}

}  // namespace winsim

BOOL EnumMonitorsW(LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
  Trace("EnumMonitorsW", std::to_string(level) + " " + std::to_string(size));
  if (DWORD error = FaultFor("EnumMonitorsW", Utf8(name))) return Fail(error, FALSE);
  if (DWORD error = SpoolerUnavailable()) return Fail(error, FALSE);
  if (!Empty(name)) return Fail(DWORD(RPC_S_SERVER_UNAVAILABLE), FALSE);  // no other machines
  if (level != 1 && level != 2) return Fail(DWORD(ERROR_INVALID_LEVEL), FALSE);
  if (!needed || !returned || (!buffer && size)) return Fail(DWORD(RPC_X_NULL_REF_POINTER), FALSE);
  *returned = 0;
  const MonitorList& monitors = M().monitors.monitors;
  DWORD total = 0;
  for (const PortMonitor& monitor : monitors) total += RecordBytes(monitor, level);
  *needed = total;
  if (size < total) return Fail(DWORD(ERROR_INSUFFICIENT_BUFFER), FALSE);
  PackMonitors(monitors, level, buffer, size);
  *returned = DWORD(monitors.size());
  return TRUE;
}

BOOL AddMonitorW(LPWSTR name, DWORD level, LPBYTE monitor) {
  const auto* info = level == 2 ? reinterpret_cast<const MONITOR_INFO_2W*>(monitor) : nullptr;
  std::string monitorName = info ? Utf8(info->pName) : std::string();
  Trace("AddMonitorW", std::to_string(level) + " " + monitorName);
  if (DWORD error = FaultFor("AddMonitorW", monitorName)) return Fail(error, FALSE);
  if (DWORD error = SpoolerUnavailable()) return Fail(error, FALSE);
  if (!Empty(name)) return Fail(DWORD(RPC_S_SERVER_UNAVAILABLE), FALSE);
  if (level != 2) return Fail(DWORD(ERROR_INVALID_LEVEL), FALSE);
  if (!info) return FALSE;  // Windows leaves the last error as it was
  if (Empty(info->pName) || Empty(info->pDLLName)) return Fail(DWORD(ERROR_INVALID_PARAMETER), FALSE);
  // A monitor runs in the spooler's process: only the server's own environment can load it.
  if (!Empty(info->pEnvironment) && !EqualNoCase(Utf8(info->pEnvironment), kNativeEnvironment))
    return Fail(DWORD(ERROR_INVALID_ENVIRONMENT), FALSE);
  if (FindMonitor(monitorName)) return Fail(DWORD(ERROR_PRINT_MONITOR_ALREADY_INSTALLED), FALSE);
  if (DWORD error = BlockedCode(kNativeEnvironment)) return Fail(error, FALSE);
  std::string dllName = Utf8(info->pDLLName);
  if (DWORD error = MonitorDllError(SystemFile(dllName))) return Fail(error, FALSE);
  PortMonitor added{monitorName, kNativeEnvironment, dllName, {}};
  for (const auto& entry : M().monitors.portsOfNewMonitor)
    if (EqualNoCase(entry.first, monitorName)) added.ports = entry.second;
  M().monitors.monitors.push_back(added);
  SetLastError(ERROR_SUCCESS);  // programs rely on this
  return TRUE;
}

BOOL DeleteMonitorW(LPWSTR name, LPWSTR environment, LPWSTR monitorName) {
  std::string monitor = Utf8(monitorName);
  Trace("DeleteMonitorW", monitor + " " + Utf8(environment));
  if (DWORD error = FaultFor("DeleteMonitorW", monitor)) return Fail(error, FALSE);
  if (DWORD error = SpoolerUnavailable()) return Fail(error, FALSE);
  if (!Empty(name)) return Fail(DWORD(RPC_S_SERVER_UNAVAILABLE), FALSE);
  if (Empty(monitorName)) return Fail(DWORD(ERROR_INVALID_PARAMETER), FALSE);
  if (!Empty(environment) && !KnownEnvironment(Utf8(environment)))
    return Fail(DWORD(ERROR_INVALID_ENVIRONMENT), FALSE);
  PortMonitor* found = FindMonitor(monitor);
  if (!found) return Fail(DWORD(ERROR_UNKNOWN_PRINT_MONITOR), FALSE);
  if (InUse(*found)) return Fail(DWORD(ERROR_PRINT_MONITOR_IN_USE), FALSE);
  M().monitors.monitors.Remove(*found);
  return TRUE;
}
