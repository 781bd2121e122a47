// The end-to-end checks' eyes inside Wine: runs the tool (closing and printing its log window
// when one comes up), and prints the spooler, registry and tray state as plain lines.
#include <windows.h>
#include <winspool.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const DWORD kRunTimeoutMs = 180000;
const WCHAR kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kTrayMutex[] = "{6F3B2D10-4C7A-4E19-9B52-3A7D0C1E8F64}";
const WCHAR kTrayClass[] = L"lsv::{2E8D4A61-7B90-4C3F-A1D5-6C0B9E27F4A8}";
const int kLogTextId = 1001;

void Print(const std::wstring& text) {
  std::string bytes(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr);
  std::fputs(bytes.c_str(), stdout);
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

std::wstring OrNone(const WCHAR* text) { return text && *text ? text : L"(none)"; }

// The two-call sizing protocol of the spooler's enumerations.
template <typename Call>
std::vector<BYTE> Enumerate(Call call, DWORD* count) {
  DWORD needed = 0;
  *count = 0;
  std::vector<BYTE> block;
  if (call(nullptr, 0, &needed, count) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return block;
  block.resize(needed);
  if (!call(block.data(), needed, &needed, count)) *count = 0;
  return block;
}

void PrintMonitors() {
  DWORD count;
  auto block = Enumerate([](BYTE* buffer, DWORD size, DWORD* needed, DWORD* count) {
    return EnumMonitorsW(nullptr, 2, buffer, size, needed, count);
  }, &count);
  auto* records = reinterpret_cast<MONITOR_INFO_2W*>(block.data());
  for (DWORD i = 0; i < count; ++i)
    Print(L"monitor: " + OrNone(records[i].pName) + L" | " + OrNone(records[i].pDLLName));
}

void PrintDrivers(const WCHAR* environment) {
  DWORD count;
  auto block = Enumerate([environment](BYTE* buffer, DWORD size, DWORD* needed, DWORD* count) {
    return EnumPrinterDriversW(nullptr, const_cast<WCHAR*>(environment), 3, buffer, size, needed, count);
  }, &count);
  auto* records = reinterpret_cast<DRIVER_INFO_3W*>(block.data());
  for (DWORD i = 0; i < count; ++i)
    Print(std::wstring(L"driver ") + environment + L": " + OrNone(records[i].pName) + L" | " +
          OrNone(records[i].pDriverPath) + L" | " + OrNone(records[i].pConfigFile) + L" | " +
          OrNone(records[i].pHelpFile));
}

// The printer's settings-key name, read as the product reads it: "SubKey", else "DsUser"\"SubKey".
std::wstring SubKeyOf(const WCHAR* printerName) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<WCHAR*>(printerName), &printer, nullptr)) return L"(cannot open)";
  char name[64] = {};
  DWORD type = 0, needed = 0;
  if (GetPrinterDataA(printer, const_cast<char*>("SubKey"), &type, reinterpret_cast<BYTE*>(name), sizeof(name) - 1,
                      &needed) != ERROR_SUCCESS || type != REG_SZ) {
    name[0] = 0;
    if (GetPrinterDataExA(printer, "DsUser", "SubKey", &type, reinterpret_cast<BYTE*>(name), sizeof(name) - 1,
                          &needed) != ERROR_SUCCESS || type != REG_SZ)
      name[0] = 0;
  }
  ClosePrinter(printer);
  WCHAR wide[64] = {};
  MultiByteToWideChar(CP_ACP, 0, name, -1, wide, ARRAYSIZE(wide));
  return OrNone(wide);
}

void PrintPrinters() {
  DWORD count;
  auto block = Enumerate([](BYTE* buffer, DWORD size, DWORD* needed, DWORD* count) {
    return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, count);
  }, &count);
  auto* records = reinterpret_cast<PRINTER_INFO_2W*>(block.data());
  for (DWORD i = 0; i < count; ++i) {
    const PRINTER_INFO_2W& p = records[i];
    std::wstring shared = (p.Attributes & PRINTER_ATTRIBUTE_SHARED) ? L"shared as " + OrNone(p.pShareName)
                                                                    : std::wstring(L"not shared");
    Print(L"printer: " + OrNone(p.pPrinterName) + L" | " + OrNone(p.pPortName) + L" | " +
          OrNone(p.pDriverName) + L" | " + shared);
    Print(L"printer " + OrNone(p.pPrinterName) + L": comment " + OrNone(p.pComment) + L" | location " +
          OrNone(p.pLocation) + L" | settings key " + SubKeyOf(p.pPrinterName));
  }
  WCHAR name[256];
  DWORD size = ARRAYSIZE(name);
  Print(L"default printer: " + std::wstring(GetDefaultPrinterW(name, &size) ? name : L"(none)"));
}

void PrintRunValue() {
  HKEY key;
  WCHAR path[MAX_PATH + 1] = {};
  DWORD size = sizeof(path) - sizeof(WCHAR);
  bool found = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS;
  if (found) {
    found = RegQueryValueExW(key, L"LumascribeTray", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) ==
            ERROR_SUCCESS;
    RegCloseKey(key);
  }
  Print(L"run value: " + std::wstring(found ? path : L"(none)"));
}

void PrintTray() {
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kTrayMutex);
  if (mutex) CloseHandle(mutex);
  Print(std::wstring(L"tray mutex: ") + (mutex ? L"present" : L"absent"));
  Print(std::wstring(L"tray window: ") + (FindWindowW(kTrayClass, nullptr) ? L"present" : L"absent"));
}

// Gives a printer what the product's other components would: a settings key, a comment and a
// location.
int SetPrinterSettings(const WCHAR* printerName, const WCHAR* subKey, const WCHAR* comment, const WCHAR* location) {
  PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<WCHAR*>(printerName), &printer, &access)) {
    Print(L"cannot open the printer: error " + std::to_wstring(GetLastError()));
    return 1;
  }
  char name[64] = {};
  WideCharToMultiByte(CP_ACP, 0, subKey, -1, name, sizeof(name) - 1, nullptr, nullptr);
  DWORD written = SetPrinterDataExA(printer, "DsUser", "SubKey", REG_SZ, reinterpret_cast<BYTE*>(name),
                                    DWORD(lstrlenA(name) + 1));
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> block(needed);
  bool updated = needed && GetPrinterW(printer, 2, block.data(), needed, &needed);
  if (updated) {
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(block.data());
    info->pComment = const_cast<WCHAR*>(comment);
    info->pLocation = const_cast<WCHAR*>(location);
    updated = SetPrinterW(printer, 2, block.data(), 0);
  }
  ClosePrinter(printer);
  if (written == ERROR_SUCCESS && updated) return 0;
  Print(L"cannot set the printer's settings");
  return 1;
}

struct DialogSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  WCHAR className[16] = {};
  GetClassNameW(window, className, ARRAYSIZE(className));
  if (owner != search->processId || lstrcmpW(className, L"#32770") || !IsWindowVisible(window)) return TRUE;
  search->found = window;
  return FALSE;
}

std::wstring WindowText(HWND window) {
  LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  LRESULT copied = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(copied));
  return text;
}

// The log window, read and closed with its Close button as a user would.
void CloseLogWindow(HWND dialog) {
  Print(L"log window: " + WindowText(dialog));
  std::wstring log = WindowText(GetDlgItem(dialog, kLogTextId));
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find(L"\r\n", start);
    if (end == std::wstring::npos) end = log.size();
    Print(L"| " + log.substr(start, end - start));
    start = end + 2;
  }
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

void SendShift(bool down) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = VK_SHIFT;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &input, sizeof(input));
}

int Run(int argc, WCHAR** argv) {
  bool shift = argc > 0 && !lstrcmpW(argv[0], L"--shift");
  if (shift) ++argv, --argc;
  if (argc < 1) return 2;
  std::wstring commandLine = L"\"" + std::wstring(argv[0]) + L"\"";
  for (int i = 1; i < argc; ++i) commandLine += L" " + std::wstring(argv[i]);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (shift) SendShift(true);
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    Print(L"cannot start the tool: error " + std::to_wstring(GetLastError()));
    return 255;
  }
  DWORD started = GetTickCount();
  bool closed = false;
  while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
    if (GetTickCount() - started > kRunTimeoutMs) {
      Print(L"the tool did not end in time");
      TerminateProcess(process.hProcess, 255);
      return 255;
    }
    DialogSearch search = {process.dwProcessId, nullptr};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found && !closed) {
      CloseLogWindow(search.found);
      closed = true;
    }
  }
  if (shift) SendShift(false);
  DWORD code = 255;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (!closed) Print(L"log window: (not shown)");
  Print(L"exit code: " + std::to_wstring(code));
  return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, WCHAR** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // plain LF lines for the Linux side
  if (argc >= 2 && !lstrcmpW(argv[1], L"run")) return Run(argc - 2, argv + 2);
  if (argc == 2 && !lstrcmpW(argv[1], L"state")) {
    PrintMonitors();
    PrintDrivers(L"Windows x64");
    PrintDrivers(L"Windows NT x86");
    PrintPrinters();
    PrintRunValue();
    PrintTray();
    return 0;
  }
  if (argc == 6 && !lstrcmpW(argv[1], L"settings")) return SetPrinterSettings(argv[2], argv[3], argv[4], argv[5]);
  std::fputs("usage: probe run [--shift] TOOL ARGS... | probe state | probe settings PRINTER SUBKEY COMMENT LOCATION\n",
             stderr);
  return 2;
}
