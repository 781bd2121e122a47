#include "printers/tray_companion.h"

#include "core/counted_string.h"
#include "core/install_context.h"
#include "core/install_log.h"
#include "core/owned_handle.h"
#include "core/product.h"
#include "core/wide.h"
#include "system/package_rights.h"
#include "system/read_only.h"

namespace inst {

namespace {

// The contract with the companion.
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValueAnsi[] = "LumascribeTray";
const WCHAR kRunValue[] = TEXT("LumascribeTray");
const char kMutexName[] = "{6F3B2D10-4C7A-4E19-9B52-3A7D0C1E8F64}";
const WCHAR kWindowClass[] = TEXT("lsv::{2E8D4A61-7B90-4C3F-A1D5-6C0B9E27F4A8}");
constexpr UINT kQuitMessage = 0x402;  // WM_USER + 2

constexpr DWORD kQuitWaitMs = 5000;
constexpr int kQuitAttempts = 20;
constexpr DWORD kWindowPauseMs = 250;
constexpr DWORD kNoValuePauseMs = 1000;
constexpr int kDeleteAttempts = 10;
constexpr DWORD kLockedPauseMs = 100;
constexpr DWORD kOtherErrorPauseMs = 10;
// The command line holds the path in quotes: at most this much of it.
constexpr size_t kCommandPathChars = 259;

bool EndsWithSeparator(CountedString s) {
  size_t n = Length(s);
  return n > 0 && (Text(s)[n - 1] == '\\' || Text(s)[n - 1] == '/');
}

}  // namespace

CountedString TrayPath(CountedString moduleDir) {
  CountedString dir = nullptr;
  if (!AssignString(dir, Text(moduleDir))) return nullptr;
  if (EndsWithSeparator(dir)) SetStringLength(dir, Length(dir) - 1);
  CountedString path = DirectoryPart(dir);
  FreeString(dir);
  CountedString name = StringFromAnsi(PRODUCT_TRAY_FILE);
  bool ok = name && (Length(path) == 0 || EndsWithSeparator(path) || AppendString(path, TEXT("\\"))) &&
            AppendString(path, Text(name));
  FreeString(name);
  if (!ok) FreeString(path);
  return path;
}

namespace {

bool IsWindows6OrLater() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
#ifdef _MSC_VER
#pragma warning(suppress : 4996)  // deprecated, but the answer it gives is all the gate needs
#endif
  GetVersionExA(&info);
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 6;
}

// The value is a command line: unquoted, a path with spaces would start "C:\Program.exe" first
// at logon (CreateProcess tries each word in turn).
void Register(CountedString path) {
  CountedString command = nullptr;
  bool built = AssignString(command, TEXT("\"")) && AppendString(command, Text(path)) &&
               AppendString(command, TEXT("\""));
  HKEY key = nullptr;
  if (built && RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    RegSetValueExW(key, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(Text(command)),
                   DWORD((Length(command) + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
  }
  FreeString(command);
}

// The file a Run value starts: the quoted path, or the bare path earlier versions wrote.
WCHAR* RunValueFile(WCHAR* value) {
  if (value[0] != '"') return value;
  for (WCHAR* end = value + 1; *end; ++end)
    if (*end == '"') *end = 0;
  return value + 1;
}

// Whether this process runs as SYSTEM: a deployment system's run, whose rights nothing it starts
// may have. When the question cannot be answered, the answer is yes.
bool RunsAsSystem() {
  WCHAR* account = RunningAccountSid();
  bool system = !account || StrEqual(account, TEXT("S-1-5-18"));
  LocalFree(account);
  return system;
}

// A primary token of the user at this session's desktop: the token of the process that owns
// the shell's window, when that shell runs unelevated in this process's session
// (shared/notes/windows-2026.md). An elevated shell would pass an administrator's rights on;
// another session's desktop is not the one this run was started from.
bool DesktopUserToken(OwnedHandle* primary) {
  HWND shell = GetShellWindow();
  DWORD shellId = 0;
  DWORD ownSession = 0;
  DWORD shellSession = 0;
  if (!shell || !GetWindowThreadProcessId(shell, &shellId) || !shellId ||
      !ProcessIdToSessionId(GetCurrentProcessId(), &ownSession) || !ProcessIdToSessionId(shellId, &shellSession) ||
      ownSession != shellSession)
    return false;
  OwnedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellId));
  OwnedHandle token;
  const DWORD rights = TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY;
  if (!process.handle || !OpenProcessToken(process.handle, rights, &token.handle)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD filled = 0;
  if (!GetTokenInformation(token.handle, TokenElevation, &elevation, sizeof(elevation), &filled) ||
      elevation.TokenIsElevated)
    return false;
  return DuplicateTokenEx(token.handle, rights, nullptr, SecurityImpersonation, TokenPrimary, &primary->handle);
}

bool StartAs(HANDLE token, CountedString path) {
  // CreateProcessWithTokenW may write into the command line: it lives in a buffer of our own.
  WCHAR commandLine[kCommandPathChars + 3] = {};
  size_t chars = Length(path) < kCommandPathChars ? Length(path) : kCommandPathChars;
  commandLine[0] = '"';
  for (size_t i = 0; i < chars; ++i) commandLine[1 + i] = Text(path)[i];
  commandLine[1 + chars] = '"';
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessWithTokenW(token, 0, nullptr, commandLine, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                               &process))
    return false;
  OwnedHandle started(process.hProcess);
  OwnedHandle thread(process.hThread);
  return true;
}

// Started with the desktop's user's token, never the tool's: after an over-the-shoulder
// elevation the tool is an administrator, under a deployment system SYSTEM. Where there is no
// such user to start it for, the Run value starts it at the next sign-in; that is no error.
void Start(InstallContext* context, CountedString path) {
  OwnedHandle token;
  if (SomeoneSees() && !RunsAsSystem() && DesktopUserToken(&token) && StartAs(token.handle, path)) return;
  LogLine(context, TEXT("The tray companion starts at the next sign-in: no desktop user to start it for now."));
}

// Posts the quit message and waits for the companion to let its mutex go, within bounds.
void AskToQuit(HANDLE mutex) {
  bool posted = false;
  for (int attempts = 0;;) {
    if (HWND window = FindWindowW(kWindowClass, nullptr)) {
      PostMessageW(window, kQuitMessage, 0, 0);
      posted = true;
      if (WaitForSingleObject(mutex, kQuitWaitMs) == WAIT_OBJECT_0) return;
    } else if (posted) {
      WaitForSingleObject(mutex, kQuitWaitMs);
      return;
    } else {
      Sleep(kWindowPauseMs);
    }
    if (++attempts == kQuitAttempts) {
      if (posted) WaitForSingleObject(mutex, kQuitWaitMs);
      return;
    }
  }
}

// Whether the path's last part is the companion's file name, letter case aside: only the
// product's own file has its read-only attribute cleared.
bool NamedAsTray(const WCHAR* path) {
  const WCHAR* name = path;
  for (const WCHAR* at = path; *at; ++at)
    if (*at == '\\' || *at == '/') name = at + 1;
  const char* tray = PRODUCT_TRAY_FILE;
  for (; *name && *tray; ++name, ++tray)
    if (FoldAscii(*name) != FoldAscii(WCHAR(*tray))) return false;
  return !*name && !*tray;
}

void DeleteTrayFile(HKEY key) {
  // One character more than the read may fill, so the path always ends.
  WCHAR path[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH * sizeof(WCHAR);
  if (RegQueryValueExW(key, kRunValue, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) != ERROR_SUCCESS) {
    Sleep(kNoValuePauseMs);
    return;
  }
  const WCHAR* file = RunValueFile(path);
  if (!file[0]) return;
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    if ((!NamedAsTray(file) || MakeWritable(file)) && DeleteFileW(file)) return;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return;
    Sleep(error == ERROR_ACCESS_DENIED ? kLockedPauseMs : kOtherErrorPauseMs);
  }
}

}  // namespace

void StartTrayCompanion(InstallContext* context) {
  if (!context->serverMode && !IsWindows6OrLater()) return;
  CountedString path = TrayPath(context->moduleDir);
  if (!path) return;
  Register(path);
  Start(context, path);
  FreeString(path);
}

void StopTrayCompanion(TrayFile file) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kMutexName);
  if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) AskToQuit(mutex);
  if (mutex) CloseHandle(mutex);
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  if (mutex && file == TrayFile::Delete) DeleteTrayFile(key);
  RegDeleteValueA(key, kRunValueAnsi);
  RegCloseKey(key);
}

}  // namespace inst
