// The end-to-end checks' eyes, built from this one source for both hosts: for Windows (run
// under Wine) and for Linux against winsim (on the machine in $WINSIM_MACHINE). It runs the tool
// (reading and closing its log window), gives a printer the settings the product's other
// components keep, and prints the machine's state as sorted lines, one fact each, paths and
// file names in lower case so that both systems' spellings compare.
#ifdef _WIN32
#include <windows.h>
#include <winspool.h>

#include <fcntl.h>
#include <io.h>
#else
#include <sys/wait.h>
#include <unistd.h>

#include "winsim/host.h"
#include "winsim/windows.h"
#endif

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Text = std::basic_string<WCHAR>;

const WCHAR kRunKey[] = TEXT("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kTrayMutex[] = "{6F3B2D10-4C7A-4E19-9B52-3A7D0C1E8F64}";
const WCHAR kTrayClass[] = TEXT("lsv::{2E8D4A61-7B90-4C3F-A1D5-6C0B9E27F4A8}");
const WCHAR kUserKeys[] = TEXT("Software\\Veldrin Software KFT\\Lumascribe\\Lumascribes\\");
const WCHAR kToolDir[] = TEXT("C:\\Program Files\\Lumascribe\\install\\");
const WCHAR kTrayExe[] = TEXT("C:\\Program Files\\Lumascribe\\lumtray.exe");
const WCHAR* const kProductFiles[] = {TEXT("lmsmon64.dll"), TEXT("lmsmon32.dll"), TEXT("lmsdrv64.dll"),
                                      TEXT("lmsui64.dll"),  TEXT("lmsdrv32.dll"), TEXT("lmsui32.dll"),
                                      TEXT("lmshelp.chm")};

std::string Utf8(const Text& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = uint16_t(text[i]);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) c = 0x10000 + ((c - 0xD800) << 10) + (uint16_t(text[++i]) - 0xDC00);
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6), out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | c >> 12), out += char(0x80 | (c >> 6 & 0x3F)), out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | c >> 18), out += char(0x80 | (c >> 12 & 0x3F)), out += char(0x80 | (c >> 6 & 0x3F)),
          out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

Text Wide(const std::string& ascii) { return Text(ascii.begin(), ascii.end()); }

Text Lower(Text text) {
  for (WCHAR& c : text)
    if (c >= 'A' && c <= 'Z') c = WCHAR(c - 'A' + 'a');
  return text;
}

Text OrNone(const WCHAR* text) { return text && *text ? Text(text) : Text(TEXT("(none)")); }
Text PathOrNone(const WCHAR* text) { return Lower(OrNone(text)); }

void Print(const Text& line) {
  std::fputs((Utf8(line) + "\n").c_str(), stdout);
  std::fflush(stdout);
}

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

// The build (the last part of the file version) of a file, or "(none)".
Text BuildOf(const Text& path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  std::vector<BYTE> block(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!size || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
      !VerQueryValueW(block.data(), TEXT("\\"), reinterpret_cast<void**>(&info), &length) || !info)
    return TEXT("(none)");
  return Wide(std::to_string(info->dwFileVersionLS & 0xFFFF));
}

bool FileExists(const Text& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void MonitorFacts(std::vector<Text>& facts) {
  DWORD count;
  auto block = Enumerate([](BYTE* buffer, DWORD size, DWORD* needed, DWORD* count) {
    return EnumMonitorsW(nullptr, 2, buffer, size, needed, count);
  }, &count);
  auto* records = reinterpret_cast<MONITOR_INFO_2W*>(block.data());
  for (DWORD i = 0; i < count; ++i)
    facts.push_back(TEXT("monitor: ") + OrNone(records[i].pName) + TEXT(" | ") + PathOrNone(records[i].pDLLName));
}

void DriverFacts(std::vector<Text>& facts, const WCHAR* environment) {
  DWORD count;
  auto block = Enumerate([environment](BYTE* buffer, DWORD size, DWORD* needed, DWORD* count) {
    return EnumPrinterDriversW(nullptr, const_cast<WCHAR*>(environment), 3, buffer, size, needed, count);
  }, &count);
  auto* records = reinterpret_cast<DRIVER_INFO_3W*>(block.data());
  for (DWORD i = 0; i < count; ++i) {
    const DRIVER_INFO_3W& d = records[i];
    facts.push_back(TEXT("driver ") + Text(environment) + TEXT(": ") + OrNone(d.pName) + TEXT(" | driver ") +
                    PathOrNone(d.pDriverPath) + TEXT(" | data ") + PathOrNone(d.pDataFile) + TEXT(" | config ") +
                    PathOrNone(d.pConfigFile) + TEXT(" | help ") + PathOrNone(d.pHelpFile) + TEXT(" | build ") +
                    BuildOf(d.pDriverPath ? d.pDriverPath : TEXT("")));
  }
}

// The printer's settings-key name, read as the product reads it: "SubKey", else "DsUser"\"SubKey".
Text SubKeyOf(const WCHAR* printerName) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<WCHAR*>(printerName), &printer, nullptr)) return TEXT("(cannot open)");
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
  return OrNone(Wide(name).c_str());
}

// Whether the per-user settings key `key` carries the "deleted" mark.
bool MarkedDeleted(const Text& key) {
  HKEY open;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, (kUserKeys + key).c_str(), 0, KEY_QUERY_VALUE, &open) != ERROR_SUCCESS)
    return false;
  bool marked = RegQueryValueExW(open, TEXT("deleted"), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(open);
  return marked;
}

void PrinterFacts(std::vector<Text>& facts) {
  DWORD count;
  auto block = Enumerate([](BYTE* buffer, DWORD size, DWORD* needed, DWORD* count) {
    return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, count);
  }, &count);
  auto* records = reinterpret_cast<PRINTER_INFO_2W*>(block.data());
  for (DWORD i = 0; i < count; ++i) {
    const PRINTER_INFO_2W& p = records[i];
    Text name = OrNone(p.pPrinterName), key = SubKeyOf(p.pPrinterName);
    Text shared = (p.Attributes & PRINTER_ATTRIBUTE_SHARED) ? TEXT("shared as ") + OrNone(p.pShareName)
                                                            : Text(TEXT("not shared"));
    facts.push_back(TEXT("printer: ") + name + TEXT(" | port ") + OrNone(p.pPortName) + TEXT(" | driver ") +
                    OrNone(p.pDriverName) + TEXT(" | ") + shared);
    facts.push_back(TEXT("printer ") + name + TEXT(": comment ") + OrNone(p.pComment) + TEXT(" | location ") +
                    OrNone(p.pLocation) + TEXT(" | settings key ") + key +
                    (MarkedDeleted(key) ? TEXT(" (marked deleted)") : TEXT("")));
  }
  WCHAR defaultName[256];
  DWORD size = 256;
  facts.push_back(TEXT("default printer: ") + Text(GetDefaultPrinterW(defaultName, &size) ? defaultName : TEXT("(none)")));
}

void RegistryFacts(std::vector<Text>& facts) {
  HKEY key;
  WCHAR path[MAX_PATH + 1] = {};
  DWORD size = sizeof(path) - sizeof(WCHAR);
  bool found = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS;
  if (found) {
    found = RegQueryValueExW(key, TEXT("LumascribeTray"), nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) ==
            ERROR_SUCCESS;
    RegCloseKey(key);
  }
  facts.push_back(TEXT("run value: ") + (found ? Lower(path) : Text(TEXT("(none)"))));
  // PendingFileRenameOperations: (source, target) pairs, an empty target for a deletion.
  std::vector<BYTE> data;
  DWORD bytes = 0;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
  if (RegQueryValueExW(key, TEXT("PendingFileRenameOperations"), nullptr, nullptr, nullptr, &bytes) == ERROR_SUCCESS) {
    data.resize(bytes + 2 * sizeof(WCHAR));
    if (RegQueryValueExW(key, TEXT("PendingFileRenameOperations"), nullptr, nullptr, data.data(), &bytes) !=
        ERROR_SUCCESS)
      data.clear();
  }
  RegCloseKey(key);
  // Each string ends with its terminator, and one more ends the list.
  Text all(reinterpret_cast<const WCHAR*>(data.data()), data.empty() ? 0 : bytes / sizeof(WCHAR));
  if (!all.empty() && all.back() == 0) all.pop_back();
  std::vector<Text> strings;
  for (size_t start = 0; start < all.size();) {
    size_t end = all.find(WCHAR(0), start);
    if (end == Text::npos) end = all.size();
    strings.push_back(Lower(all.substr(start, end - start)));
    start = end + 1;
  }
  for (size_t i = 0; i + 1 < strings.size(); i += 2)
    facts.push_back(strings[i + 1].empty() ? TEXT("pending: delete ") + strings[i]
                                           : TEXT("pending: rename ") + strings[i] + TEXT(" -> ") + strings[i + 1]);
}

void TrayFacts(std::vector<Text>& facts) {
  // A second CreateMutex of a name another program owns says ERROR_ALREADY_EXISTS.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kTrayMutex);
  bool present = mutex && GetLastError() == ERROR_ALREADY_EXISTS;
  if (mutex) CloseHandle(mutex);
  facts.push_back(TEXT("tray mutex: ") + Text(present ? TEXT("present") : TEXT("absent")));
  // A companion that has just started makes its window a moment after its mutex.
  bool window = FindWindowW(kTrayClass, nullptr) != nullptr;
  for (int wait = 0; present && !window && wait < 50; ++wait) {
    Sleep(100);
    window = FindWindowW(kTrayClass, nullptr) != nullptr;
  }
  facts.push_back(TEXT("tray window: ") + Text(window ? TEXT("present") : TEXT("absent")));
}

// The product's files wherever the tool puts them, with their builds.
void FileFacts(std::vector<Text>& facts) {
  std::vector<Text> dirs = {kToolDir};
  WCHAR system[MAX_PATH] = {};
  if (GetSystemDirectoryW(system, MAX_PATH)) dirs.push_back(Text(system) + TEXT("\\"));
  for (const WCHAR* environment : {TEXT("Windows x64"), TEXT("Windows NT x86")}) {
    WCHAR dir[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, const_cast<WCHAR*>(environment), 1, reinterpret_cast<BYTE*>(dir),
                                    sizeof(dir), &needed))
      continue;
    for (const WCHAR* sub : {TEXT("\\"), TEXT("\\3\\"), TEXT("\\3\\Old\\1\\"), TEXT("\\3\\Old\\2\\")})
      dirs.push_back(Text(dir) + sub);
  }
  for (const Text& dir : dirs)
    for (const WCHAR* name : kProductFiles)
      if (FileExists(dir + name)) facts.push_back(TEXT("file: ") + Lower(dir + name) + TEXT(" | build ") + BuildOf(dir + name));
  if (FileExists(kTrayExe)) facts.push_back(TEXT("file: ") + Lower(kTrayExe) + TEXT(" | build ") + BuildOf(kTrayExe));
}

int PrintState() {
  std::vector<Text> facts;
  MonitorFacts(facts);
  DriverFacts(facts, TEXT("Windows x64"));
  DriverFacts(facts, TEXT("Windows NT x86"));
  PrinterFacts(facts);
  RegistryFacts(facts);
  TrayFacts(facts);
  FileFacts(facts);
  std::sort(facts.begin(), facts.end());
  for (const Text& fact : facts) Print(fact);
  return 0;
}

// Gives a printer what the product's other components would: a settings key (marked deleted in
// the user's keys, as while its printer is away), a comment and a location.
int SetPrinterSettings(const Text& printerName, const Text& subKey, const Text& comment, const Text& location) {
  PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<WCHAR*>(printerName.c_str()), &printer, &access)) {
    Print(TEXT("cannot open the printer: error ") + Wide(std::to_string(GetLastError())));
    return 1;
  }
  std::string name = Utf8(subKey);
  DWORD written = SetPrinterDataExA(printer, "DsUser", "SubKey", REG_SZ,
                                    reinterpret_cast<BYTE*>(const_cast<char*>(name.c_str())), DWORD(name.size() + 1));
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> block(needed);
  bool updated = needed && GetPrinterW(printer, 2, block.data(), needed, &needed);
  if (updated) {
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(block.data());
    info->pComment = const_cast<WCHAR*>(comment.c_str());
    info->pLocation = const_cast<WCHAR*>(location.c_str());
    updated = SetPrinterW(printer, 2, block.data(), 0);
  }
  ClosePrinter(printer);
  HKEY key = nullptr;
  DWORD one = 1;
  bool marked = RegCreateKeyExW(HKEY_CURRENT_USER, (kUserKeys + subKey).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                &key, nullptr) == ERROR_SUCCESS &&
                RegSetValueExA(key, "deleted", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof(one)) ==
                    ERROR_SUCCESS;
  if (key) RegCloseKey(key);
  if (written == ERROR_SUCCESS && updated && marked) return 0;
  Print(TEXT("cannot set the printer's settings"));
  return 1;
}

// An administrator's policy "Configure Windows protected print", as the policy CSP writes it.
int SetProtectedPrintPolicy() {
  HKEY key = nullptr;
  DWORD one = 1;
  bool set = RegCreateKeyExW(HKEY_LOCAL_MACHINE, TEXT("Software\\Policies\\Microsoft\\Windows NT\\Printers\\WPP"), 0,
                             nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS &&
             RegSetValueExW(key, TEXT("WindowsProtectedPrintGroupPolicyState"), 0, REG_DWORD,
                            reinterpret_cast<BYTE*>(&one), sizeof(one)) == ERROR_SUCCESS;
  if (key) RegCloseKey(key);
  if (set) return 0;
  Print(TEXT("cannot set the protected print policy"));
  return 1;
}

void PrintLog(const Text& title, const Text& log) {
  Print(TEXT("log window: ") + title);
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find(TEXT("\n"), start);
    if (end == Text::npos) end = log.size();
    Text line = log.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Print(TEXT("| ") + line);
    start = end + 1;
  }
}

struct RunOptions {
  bool shift = false;
  Text held;  // a file another program keeps open (reading, sharing reads only) while the tool runs
  bool logFile = false;  // print the run's log file, then delete it
  bool hidden = false;   // on a window station of its own, without WSF_VISIBLE
  std::vector<Text> command;
};

// The log file a run left in `dir`, removed; its date, time, version and process id checked, not printed.
void TakeLogFile(const std::filesystem::path& dir, const std::string& word) {
  std::string name, bytes;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.path().filename().string().rfind("Lumascribe-", 0) != 0) continue;
    name = entry.path().filename().string();
    std::ostringstream in;
    in << std::ifstream(entry.path(), std::ios::binary).rdbuf();
    bytes = in.str();
    std::filesystem::remove(entry.path(), ec);
    break;
  }
  if (name.empty()) return Print(TEXT("log file: (none)"));
  bool named = std::regex_match(name, std::regex("Lumascribe-" + word + "-20[0-9]{6}-[0-9]{6}-[0-9]+\\.log"));
  Print(TEXT("log file name: ") + (named ? Text(TEXT("as it should be")) : Wide(name)));
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") != 0) Print(TEXT("log file: no byte-order mark"));
  std::string lines = bytes.substr(std::min<size_t>(3, bytes.size()));
  std::regex first("Lumascribe build 2501 " + word + " 20[0-9]{2}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} Windows [0-9]+\\.[0-9]+\\.[0-9]+");
  for (size_t start = 0, n = 0; start < lines.size(); ++n) {
    size_t end = lines.find("\r\n", start);
    if (end == std::string::npos) return Print(TEXT("log file: a line without CR LF"));
    std::string line = lines.substr(start, end - start);
    Print(n == 0 && std::regex_match(line, first) ? Text(TEXT("log file: first line as it should be"))
                                                   : TEXT("log file| ") + Wide(line));
    start = end + 2;
  }
}

#ifdef _WIN32

const DWORD kRunTimeoutMs = 180000;
const DWORD kHiddenTimeoutMs = 15000;
const int kLogTextId = 1001;

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

Text WindowText(HWND window) {
  LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  Text text(static_cast<size_t>(length) + 1, L'\0');
  LRESULT copied = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(copied));
  return text;
}

void SendShift(bool down) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = VK_SHIFT;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &input, sizeof(input));
}

// Runs the tool; its log window is read and closed with its Close button, as a user would. With
// E2E_SHOT set, that file name is printed and the window left up for E2E_SHOT_MS first, so that a
// screenshot can be taken.
int Run(const RunOptions& options) {
  Text commandLine = L"\"" + options.command[0] + L"\"";
  for (size_t i = 1; i < options.command.size(); ++i) commandLine += L" " + options.command[i];
  HANDLE held = INVALID_HANDLE_VALUE;
  if (!options.held.empty()) {
    held = CreateFileW(options.held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
      Print(L"cannot open the file to hold: error " + std::to_wstring(GetLastError()));
      return 255;
    }
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  WCHAR desktop[] = L"e2eHidden\\Default";
  if (options.hidden) {
    // A station of its own, as SYSTEM under a deployment tool has (shared/notes/wine8.md).
    HWINSTA ours = GetProcessWindowStation();
    HWINSTA station = CreateWindowStationW(L"e2eHidden", 0, WINSTA_ALL_ACCESS, nullptr);
    if (!station || !SetProcessWindowStation(station) ||
        !CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr) || !SetProcessWindowStation(ours)) {
      Print(L"cannot make a window station: error " + std::to_wstring(GetLastError()));
      return 255;
    }
    startup.lpDesktop = desktop;
  }
  PROCESS_INFORMATION process = {};
  if (options.shift) SendShift(true);
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    Print(L"cannot start the tool: error " + std::to_wstring(GetLastError()));
    return 255;
  }
  DWORD started = GetTickCount();
  bool closed = false;
  const char* shotWait = std::getenv("E2E_SHOT_MS");
  while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
    // Nobody could close a window there: the run must end at once.
    if (GetTickCount() - started > (options.hidden ? kHiddenTimeoutMs : kRunTimeoutMs)) {
      Print(L"the tool did not end in time");
      TerminateProcess(process.hProcess, 255);
      return 255;
    }
    DialogSearch search = {process.dwProcessId, nullptr};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    if (!search.found || closed) continue;
    if (shotWait) {
      std::fputs("log window up\n", stderr);
      std::fflush(stderr);  // a file is buffered
      Sleep(DWORD(std::atoi(shotWait)));
    }
    PrintLog(WindowText(search.found), WindowText(GetDlgItem(search.found, kLogTextId)));
    PostMessageW(search.found, WM_COMMAND, IDOK, 0);
    closed = true;
  }
  if (options.shift) SendShift(false);
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  DWORD code = 255;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (!closed) Print(L"log window: (not shown)");
  Print(L"exit code: " + std::to_wstring(code));
  if (options.logFile) {
    // Where the tool writes it: GetTempPath2W where this Windows has it.
    WCHAR temp[MAX_PATH + 1] = {};
    auto path2 = reinterpret_cast<DWORD(WINAPI*)(DWORD, LPWSTR)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")));
    path2 ? path2(MAX_PATH + 1, temp) : GetTempPathW(MAX_PATH + 1, temp);
    TakeLogFile(temp, Utf8(Lower(options.command.back())));
  }
  return static_cast<int>(code);
}

#else

const char kHolder[] = "e2e probe";

std::string MachineDir() {
  const char* dir = std::getenv("WINSIM_MACHINE");
  return dir && *dir ? dir : "machine";
}

bool Load() {
  if (winsim::LoadMachine(MachineDir())) return true;
  std::fprintf(stderr, "probe: no machine in %s\n", MachineDir().c_str());
  return false;
}

// The Linux program runs as its own process on the saved machine; its log window is printed to
// its standard output (title, then the log). Holding a file is the machine's own record of it.
int Run(const RunOptions& options) {
  if (!options.held.empty() || options.hidden) {
    if (!Load()) return 255;
    if (!options.held.empty()) winsim::HoldFile(Utf8(options.held), kHolder, UINT64_MAX, ERROR_SHARING_VIOLATION);
    winsim::M().ui.windowStationVisible = !options.hidden;
    winsim::SaveMachine(MachineDir());
  }
  size_t events = Load() ? winsim::M().eventLog.events.size() : 0;
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return 255;
  std::fflush(stdout);
  pid_t child = fork();
  if (child == 0) {
    dup2(pipeEnds[1], 1);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    if (options.shift) setenv("WINSIM_SHIFT", "1", 1);
    std::vector<std::string> args;
    for (const Text& arg : options.command) args.push_back(Utf8(arg));
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  std::string output;
  char chunk[4096];
  for (ssize_t got; (got = read(pipeEnds[0], chunk, sizeof(chunk))) > 0;) output.append(chunk, size_t(got));
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 255;
  if ((!options.held.empty() || options.hidden) && Load()) {
    winsim::ReleaseHolds(kHolder);
    winsim::M().ui.windowStationVisible = true;
    winsim::SaveMachine(MachineDir());
  }
  size_t titleEnd = output.find('\n');
  if (output.empty()) Print(TEXT("log window: (not shown)"));
  else PrintLog(Wide(output.substr(0, titleEnd)), titleEnd == std::string::npos ? Text() : Wide(output.substr(titleEnd + 1)));
  Print(TEXT("exit code: ") + Wide(std::to_string(code)));
  // The run's events (Wine keeps none to compare them with).
  for (size_t i = events; Load() && i < winsim::M().eventLog.events.size(); ++i) {
    const winsim::LoggedEvent& e = winsim::M().eventLog.events[i];
    std::string text = e.strings.empty() ? "" : std::regex_replace(e.strings[0], std::regex("\r\n"), " | ");
    Print(Wide("event: " + e.source + " " + std::to_string(e.type) + " " + std::to_string(e.id) + ": " + text));
  }
  if (options.logFile && Load()) TakeLogFile(winsim::ResolvePath(winsim::M().os.tempDir).path, Utf8(Lower(options.command.back())));
  return code;
}

// A fresh machine with a spooler as bare as a fresh Wine prefix has it: the local port monitor,
// no drivers, no printers. Both hosts then start from the same state.
int Boot() {
  winsim::ResetMachine(MachineDir());
  winsim::Machine& m = winsim::M();
  m.monitors.monitors.RemoveIf([](const winsim::PortMonitor& monitor) { return monitor.name != "Local Port"; });
  m.drivers.installed.clear();
  m.spooler.printers.clear();
  m.spooler.defaultPrinter.clear();
  return winsim::SaveMachine(MachineDir()) ? 0 : 1;
}

// The restart between two sessions: pending file operations carried out, Run keys started.
int Restart() {
  if (!Load()) return 1;
  winsim::Reboot();
  return winsim::SaveMachine(MachineDir()) ? 0 : 1;
}

#endif

int Usage() {
  std::fputs("usage: probe run [--shift] [--hold FILE] [--logfile] [--hidden] TOOL ARGS... | probe state |\n"
             "       probe settings PRINTER SUBKEY COMMENT LOCATION | probe policy"
#ifndef _WIN32
             " | probe boot | probe restart"
#endif
             "\n",
             stderr);
  return 2;
}

int Main(const std::vector<Text>& args) {
  if (args.size() >= 2 && args[0] == TEXT("run")) {
    RunOptions options;
    size_t at = 1;
    for (; at < args.size() && args[at].rfind(TEXT("--"), 0) == 0; ++at) {
      if (args[at] == TEXT("--shift")) options.shift = true;
      else if (args[at] == TEXT("--hold") && at + 1 < args.size()) options.held = args[++at];
      else if (args[at] == TEXT("--logfile")) options.logFile = true;
      else if (args[at] == TEXT("--hidden")) options.hidden = true;
      else return Usage();
    }
    options.command.assign(args.begin() + long(at), args.end());
    return options.command.empty() ? Usage() : Run(options);
  }
#ifndef _WIN32
  if (args.size() == 1 && args[0] == TEXT("boot")) return Boot();
  if (args.size() == 1 && args[0] == TEXT("restart")) return Restart();
  bool state = args.size() == 1 && args[0] == TEXT("state");
  bool settings = args.size() == 5 && args[0] == TEXT("settings");
  bool policy = args.size() == 1 && args[0] == TEXT("policy");
  if (!state && !settings && !policy) return Usage();
  if (!Load()) return 1;
  if (state) return PrintState();  // the machine is left as it was
  int result = policy ? SetProtectedPrintPolicy() : SetPrinterSettings(args[1], args[2], args[3], args[4]);
  return winsim::SaveMachine(MachineDir()) ? result : 1;
#else
  if (args.size() == 1 && args[0] == TEXT("state")) return PrintState();
  if (args.size() == 5 && args[0] == TEXT("settings")) return SetPrinterSettings(args[1], args[2], args[3], args[4]);
  if (args.size() == 1 && args[0] == TEXT("policy")) return SetProtectedPrintPolicy();
  return Usage();
#endif
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, WCHAR** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // plain LF lines for the Linux side
  return Main(std::vector<Text>(argv + 1, argv + argc));
}
#else
int main(int argc, char** argv) {
  std::vector<Text> args;
  for (int i = 1; i < argc; ++i) args.push_back(winsim::Wide(argv[i]));
  return Main(args);
}
#endif
