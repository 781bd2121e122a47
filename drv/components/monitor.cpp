// Stand-in port monitor: the spooler loads it by InitializePrintMonitor2 and asks it for its
// ports. It offers the one port the product's printers use; output sent there is discarded.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

namespace {

const WCHAR kPortName[] = L"LumascribeServer:";
const WCHAR kMonitorName[] = L"LumascribeServer:";
const WCHAR kDescription[] = L"Lumascribe port";

// Copies text to the end of the caller's buffer, below `end`, and returns where it went.
WCHAR* PackString(BYTE*& end, const WCHAR* text) {
  end -= (lstrlenW(text) + 1) * sizeof(WCHAR);
  lstrcpyW(reinterpret_cast<WCHAR*>(end), text);
  return reinterpret_cast<WCHAR*>(end);
}

BOOL WINAPI EnumPorts(HANDLE, LPWSTR, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed,
                      LPDWORD returned) {
  if (level != 1 && level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  DWORD record = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  DWORD strings = (lstrlenW(kPortName) + 1) * sizeof(WCHAR);
  if (level == 2) strings += (lstrlenW(kMonitorName) + lstrlenW(kDescription) + 2) * sizeof(WCHAR);
  *needed = record + strings;
  *returned = 0;
  if (!ports || size < *needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  BYTE* end = ports + *needed;
  if (level == 1) {
    reinterpret_cast<PORT_INFO_1W*>(ports)->pName = PackString(end, kPortName);
  } else {
    auto* info = reinterpret_cast<PORT_INFO_2W*>(ports);
    info->pPortName = PackString(end, kPortName);
    info->pMonitorName = PackString(end, kMonitorName);
    info->pDescription = PackString(end, kDescription);
    info->fPortType = PORT_TYPE_WRITE;
    info->Reserved = 0;
  }
  *returned = 1;
  return TRUE;
}

BOOL WINAPI OpenPort(HANDLE monitor, LPWSTR, PHANDLE port) {
  *port = monitor;
  return TRUE;
}

BOOL WINAPI StartDocPort(HANDLE, LPWSTR, DWORD, DWORD, LPBYTE) { return TRUE; }

BOOL WINAPI WritePort(HANDLE, LPBYTE, DWORD size, LPDWORD written) {
  *written = size;
  return TRUE;
}

BOOL WINAPI EndDocPort(HANDLE) { return TRUE; }
BOOL WINAPI ClosePort(HANDLE) { return TRUE; }
VOID WINAPI Shutdown(HANDLE) {}

MONITOR2 g_monitor = [] {
  MONITOR2 m = {};
  m.cbSize = sizeof(MONITOR2);
  m.pfnEnumPorts = EnumPorts;
  m.pfnOpenPort = OpenPort;
  m.pfnStartDocPort = StartDocPort;
  m.pfnWritePort = WritePort;
  m.pfnEndDocPort = EndDocPort;
  m.pfnClosePort = ClosePort;
  m.pfnShutdown = Shutdown;
  return m;
}();

}  // namespace

extern "C" __declspec(dllexport) LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT, PHANDLE monitor) {
  *monitor = reinterpret_cast<HANDLE>(&g_monitor);
  return &g_monitor;
}
