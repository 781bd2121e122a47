// kernel32: last error, heaps, clock, system version, module path, system directory, DLL search.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "combase.h"
#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

DWORD GetLastError() { return M().os.lastError; }
void SetLastError(DWORD code) { M().os.lastError = code; }

// Blocks carry guard bytes after their end, checked when they are freed and by
// DamagedBlocks(), as a debug heap keeps a "no man's land" buffer of 0xFD bytes after each block
// and checks it at free (learn.microsoft.com, "CRT debug heap details"): a write past a block's
// end is found even where the allocator's slack would hide it.
namespace {

constexpr SIZE_T kGuardBytes = 16;
constexpr unsigned char kGuardFill = 0xFD;

bool GuardIntact(const void* block, SIZE_T bytes) {
  const auto* guard = static_cast<const unsigned char*>(block) + bytes;
  for (SIZE_T i = 0; i < kGuardBytes; ++i)
    if (guard[i] != kGuardFill) return false;
  return true;
}

// Windows ends a program whose heap it finds damaged; so does winsim, saying where.
void CheckGuard(const char* call, const void* block, SIZE_T bytes) {
  if (GuardIntact(block, bytes)) return;
  std::fprintf(stderr, "winsim: %s: a block of %zu bytes was written past its end\n", call, size_t(bytes));
  std::abort();
}

// Fresh memory on Windows is not zero either: callers that rely on zeros must ask for them.
void* NewBlock(std::map<const void*, SIZE_T>& blocks, SIZE_T bytes, bool zero) {
  auto* block = static_cast<unsigned char*>(std::malloc(bytes + kGuardBytes));
  if (!block) return nullptr;
  std::memset(block, zero ? 0 : 0xCD, bytes);
  std::memset(block + bytes, kGuardFill, kGuardBytes);
  blocks[block] = bytes;
  return block;
}

bool FreeBlock(std::map<const void*, SIZE_T>& blocks, const char* call, void* memory) {
  auto found = blocks.find(memory);
  if (found == blocks.end()) return false;
  CheckGuard(call, memory, found->second);
  blocks.erase(found);
  std::free(memory);
  return true;
}

}  // namespace

std::string winsim::DamagedBlocks() {
  std::string damaged;
  for (const auto* blocks : {&M().heap.globalBlocks, &M().heap.heapBlocks})
    for (const auto& [block, bytes] : *blocks)
      if (!GuardIntact(block, bytes)) damaged += (damaged.empty() ? "" : ", ") + std::to_string(bytes) + " bytes";
  return damaged;
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  Trace("GlobalAlloc", std::to_string(bytes));
  if (DWORD error = FaultFor("GlobalAlloc", std::to_string(bytes))) return Fail(error, HGLOBAL(nullptr));
  void* block = NewBlock(M().heap.globalBlocks, bytes, flags & GMEM_ZEROINIT);
  return block ? block : Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL(nullptr));
}

HGLOBAL GlobalFree(HGLOBAL memory) {
  if (!memory) return nullptr;
  return FreeBlock(M().heap.globalBlocks, "GlobalFree", memory) ? nullptr : Fail(ERROR_INVALID_HANDLE, memory);
}

HANDLE GetProcessHeap() { return reinterpret_cast<HANDLE>(uintptr_t(0x10000)); }

LPVOID HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
  Trace("HeapAlloc", std::to_string(bytes));
  // HeapAlloc sets no last error when it fails (docs: "HeapAlloc function", Remarks).
  if (FaultFor("HeapAlloc", std::to_string(bytes))) return nullptr;
  return NewBlock(M().heap.heapBlocks, bytes, flags & HEAP_ZERO_MEMORY);
}

LPVOID HeapReAlloc(HANDLE, DWORD flags, LPVOID memory, SIZE_T bytes) {
  Trace("HeapReAlloc", std::to_string(bytes));
  if (FaultFor("HeapReAlloc", std::to_string(bytes))) return nullptr;
  std::map<const void*, SIZE_T>& blocks = M().heap.heapBlocks;
  auto found = blocks.find(memory);
  if (found == blocks.end()) return nullptr;
  SIZE_T had = found->second;
  CheckGuard("HeapReAlloc", memory, had);
  auto* block = static_cast<unsigned char*>(std::realloc(memory, bytes + kGuardBytes));
  if (!block) return nullptr;
  blocks.erase(found);
  // The added part is zero only when asked for (docs: "HeapReAlloc function", HEAP_ZERO_MEMORY).
  if (bytes > had) std::memset(block + had, (flags & HEAP_ZERO_MEMORY) ? 0 : 0xCD, bytes - had);
  std::memset(block + bytes, kGuardFill, kGuardBytes);
  blocks[block] = bytes;
  return block;
}

BOOL HeapFree(HANDLE, DWORD, LPVOID memory) {
  return !memory || FreeBlock(M().heap.heapBlocks, "HeapFree", memory) ? TRUE : Fail(ERROR_INVALID_PARAMETER, FALSE);
}

HLOCAL LocalFree(HLOCAL memory) {
  if (!memory) return nullptr;
  if (!M().heap.localBlocks.erase(memory)) return Fail(ERROR_INVALID_HANDLE, memory);
  std::free(memory);
  return nullptr;
}

void Sleep(DWORD milliseconds) {
  Trace("Sleep", std::to_string(milliseconds));
  AdvanceClock(milliseconds);
}

DWORD GetTickCount() { return DWORD(M().clock.tickAtBoot + M().clock.nowMs); }

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  Trace("GetVersionExA", info ? std::to_string(info->dwOSVersionInfoSize) : std::string());
  if (DWORD error = FaultFor("GetVersionExA")) return Fail(error, FALSE);
  if (!info) return Fail(ERROR_NOACCESS, FALSE);
  DWORD size = info->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  const OsState& os = M().os;
  // Since Windows 8.1 a program whose manifest does not declare the newer systems is told
  // Windows 8 (6.2.9200).
  bool newer = os.majorVersion > 6 || (os.majorVersion == 6 && os.minorVersion > 2);
  bool told = newer && !os.manifestDeclaresWindows10;
  info->dwMajorVersion = told ? 6 : os.majorVersion;
  info->dwMinorVersion = told ? 2 : os.minorVersion;
  info->dwBuildNumber = told ? 9200 : os.buildNumber;
  info->dwPlatformId = os.platformId;
  std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
  if (size == sizeof(OSVERSIONINFOEXA)) {
    auto* ex = reinterpret_cast<LPOSVERSIONINFOEXA>(info);
    ex->wServicePackMajor = 0;
    ex->wServicePackMinor = 0;
    ex->wSuiteMask = 0x0100;  // VER_SUITE_SINGLEUSERTS
    ex->wProductType = VER_NT_WORKSTATION;
    ex->wReserved = 0;
  }
  return TRUE;
}

// Copies `text` into a caller's buffer of `size` characters the way the path calls do: the
// length without terminator on success, the needed size with terminator when it does not fit.
static DWORD CopyOut(const std::u16string& text, LPWSTR buffer, DWORD size, bool truncate) {
  if (text.size() < size) {
    std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    return DWORD(text.size());
  }
  if (!truncate) return DWORD(text.size() + 1);
  // GetModuleFileNameW cuts the name, terminates it and reports the full buffer with
  // ERROR_INSUFFICIENT_BUFFER (learn.microsoft.com, GetModuleFileNameW, return value; Windows XP
  // left it unterminated and the last error at 0).
  if (size == 0) return Fail(ERROR_INSUFFICIENT_BUFFER, DWORD(0));
  std::memcpy(buffer, text.c_str(), (size - 1) * sizeof(WCHAR));
  buffer[size - 1] = 0;
  return Fail(ERROR_INSUFFICIENT_BUFFER, size);
}

DWORD GetModuleFileNameW(HMODULE, LPWSTR filename, DWORD size) {
  Trace("GetModuleFileNameW");
  if (DWORD error = FaultFor("GetModuleFileNameW")) return Fail(error, DWORD(0));
  return CopyOut(Wide(M().os.modulePath), filename, size, true);
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size) {
  Trace("GetSystemDirectoryW");
  if (DWORD error = FaultFor("GetSystemDirectoryW")) return Fail(error, UINT(0));
  return CopyOut(Wide(M().os.systemDir), buffer, size, false);
}

// GetTempPath2W (learn.microsoft.com): a SYSTEM process is given C:\Windows\SystemTemp\, others
// what GetTempPathW gives; the machine answers both from os.tempDir. Neither checks the folder.
static DWORD TempPath(const char* call, DWORD size, LPWSTR buffer) {
  Trace(call);
  if (DWORD error = FaultFor(call)) return Fail(error, DWORD(0));
  return CopyOut(Wide(M().os.tempDir), buffer, size, false);
}

DWORD GetTempPathW(DWORD size, LPWSTR buffer) { return TempPath("GetTempPathW", size, buffer); }
static DWORD WINAPI GetTempPath2W(DWORD size, LPWSTR buffer) { return TempPath("GetTempPath2W", size, buffer); }

// ntdll's RtlGetVersion tells the true version whatever the manifest declares.
static LONG WINAPI RtlGetVersion(PRTL_OSVERSIONINFOW info) {
  Trace("RtlGetVersion");
  if (!info || (info->dwOSVersionInfoSize != sizeof(RTL_OSVERSIONINFOW))) return LONG(0xC000000D);
  const OsState& os = M().os;
  info->dwMajorVersion = os.majorVersion;
  info->dwMinorVersion = os.minorVersion;
  info->dwBuildNumber = os.buildNumber;
  info->dwPlatformId = os.platformId;
  std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
  return 0;
}

// The true machine of an x64 program: no WOW64 (IMAGE_FILE_MACHINE_UNKNOWN) and the native
// machine, which on Arm64 is 0xAA64 where GetNativeSystemInfo says x64 (IsWow64Process2 page;
// the Arm64 value measured by a public test project, shared/notes/windows-2026.md).
static BOOL WINAPI IsWow64Process2(HANDLE process, USHORT* processMachine, USHORT* nativeMachine) {
  Trace("IsWow64Process2");
  if (DWORD error = FaultFor("IsWow64Process2")) return Fail(error, FALSE);
  if (process != GetCurrentProcess()) return Fail(DWORD(ERROR_INVALID_HANDLE), FALSE);
  if (!processMachine) return Fail(DWORD(ERROR_INVALID_PARAMETER), FALSE);
  *processMachine = 0;
  if (nativeMachine) *nativeMachine = M().os.nativeMachine == NativeMachine::Arm64 ? 0xAA64 : 0x8664;
  return TRUE;
}

namespace {
struct Export {
  const char* module;
  const char* name;
  FARPROC address;
  DWORD sinceBuild;  // Windows builds before it lack the export
};
template <typename F>
FARPROC Address(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}
const Export kExports[] = {
    {"kernel32.dll", "GetTempPath2W", Address(&GetTempPath2W), 0},
    {"kernel32.dll", "IsWow64Process2", Address(&IsWow64Process2), 16299},  // Windows 10 1709
    {"ntdll.dll", "RtlGetVersion", Address(&RtlGetVersion), 0},
};
// Module handles of the system DLLs, by their index here: the first two every process has
// loaded, combase.dll only once LoadLibraryExW loaded it.
const char* const kSystemModules[] = {"kernel32.dll", "ntdll.dll", "combase.dll"};
constexpr size_t kAlwaysLoaded = 2;
constexpr uintptr_t kSystemModuleBase = 0x7FF800000000;

uint64_t ModuleHandle(size_t index) { return kSystemModuleBase + index * 0x100000; }

// The index of a loaded system module, or -1.
int LoadedModule(HMODULE module) {
  uintptr_t base = reinterpret_cast<uintptr_t>(module);
  for (size_t i = 0; i < sizeof(kSystemModules) / sizeof(kSystemModules[0]); ++i)
    if (base == ModuleHandle(i) && (i < kAlwaysLoaded || M().runtime.libraries.count(base))) return int(i);
  return -1;
}
}  // namespace

HMODULE GetModuleHandleW(LPCWSTR name) {
  std::string text = name ? Utf8(name) : std::string();
  Trace("GetModuleHandleW", text);
  if (DWORD error = FaultFor("GetModuleHandleW", text)) return Fail(error, HMODULE(nullptr));
  if (!name) return reinterpret_cast<HMODULE>(uintptr_t(0x140000000));
  for (size_t i = 0; i < sizeof(kSystemModules) / sizeof(kSystemModules[0]); ++i) {
    HMODULE module = reinterpret_cast<HMODULE>(ModuleHandle(i));
    if (EqualNoCase(text, kSystemModules[i]) && LoadedModule(module) >= 0) return module;
  }
  return Fail(ERROR_MOD_NOT_FOUND, HMODULE(nullptr));
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  std::string text = name ? name : "";
  Trace("GetProcAddress", text);
  if (DWORD error = FaultFor("GetProcAddress", text)) return Fail(error, FARPROC(nullptr));
  int index = LoadedModule(module);
  if (index < 0) return Fail(ERROR_MOD_NOT_FOUND, FARPROC(nullptr));
  if (std::string(kSystemModules[index]) == "combase.dll")
    if (FARPROC address = CombaseExport(text)) return address;
  for (const Export& e : kExports)
    if (text == e.name && EqualNoCase(e.module, kSystemModules[index]) && M().os.buildNumber >= e.sinceBuild)
      return e.address;
  return Fail(ERROR_PROC_NOT_FOUND, FARPROC(nullptr));
}

// Only combase.dll can be loaded, and only from the system directory: by its name with the search
// narrowed there (LoadLibraryExW page: LOAD_LIBRARY_SEARCH_SYSTEM32), or by its full path.
HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags) {
  std::string text = fileName ? Utf8(fileName) : std::string();
  Trace("LoadLibraryExW", text + " " + std::to_string(flags));
  if (DWORD error = FaultFor("LoadLibraryExW", text)) return Fail(error, HMODULE(nullptr));
  if (!fileName || file) return Fail(DWORD(ERROR_INVALID_PARAMETER), HMODULE(nullptr));
  std::string inSystem = M().os.systemDir + "\\combase.dll";
  bool found = EqualNoCase(text, inSystem) || (EqualNoCase(text, "combase.dll") && (flags & LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (!found) return Fail(DWORD(ERROR_MOD_NOT_FOUND), HMODULE(nullptr));
  uint64_t handle = ModuleHandle(2);
  ++M().runtime.libraries[handle];
  return reinterpret_cast<HMODULE>(handle);
}

BOOL FreeLibrary(HMODULE module) {
  Trace("FreeLibrary");
  if (DWORD error = FaultFor("FreeLibrary")) return Fail(error, FALSE);
  auto loaded = M().runtime.libraries.find(reinterpret_cast<uint64_t>(module));
  if (loaded == M().runtime.libraries.end()) return Fail(DWORD(ERROR_MOD_NOT_FOUND), FALSE);
  if (--loaded->second == 0) M().runtime.libraries.erase(loaded);
  return TRUE;
}

// The machine's local time: its clock started at midnight on 1 January 2026 (a Thursday).
void GetLocalTime(LPSYSTEMTIME time) {
  Trace("GetLocalTime");
  uint64_t ms = M().clock.nowMs;
  uint64_t days = ms / 86400000;
  time->wDayOfWeek = WORD((4 + days) % 7);
  WORD year = 2026;
  auto leap = [](WORD y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
  while (days >= (leap(year) ? 366u : 365u)) days -= leap(year++) ? 366 : 365;
  const WORD lengths[12] = {31, WORD(leap(year) ? 29 : 28), 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  WORD month = 0;
  while (days >= lengths[month]) days -= lengths[month++];
  time->wYear = year;
  time->wMonth = WORD(month + 1);
  time->wDay = WORD(days + 1);
  time->wHour = WORD(ms / 3600000 % 24);
  time->wMinute = WORD(ms / 60000 % 60);
  time->wSecond = WORD(ms / 1000 % 60);
  time->wMilliseconds = WORD(ms % 1000);
}

// Flags outside the four LOAD_LIBRARY_SEARCH_* values (learn.microsoft.com,
// SetDefaultDllDirectories), or none, give 87: measured under Wine 8 with 0, 0x100 and 0x808.
BOOL SetDefaultDllDirectories(DWORD directoryFlags) {
  Trace("SetDefaultDllDirectories", std::to_string(directoryFlags));
  if (DWORD error = FaultFor("SetDefaultDllDirectories")) return Fail(error, FALSE);
  const DWORD known = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS |
                      LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
  if (directoryFlags == 0 || (directoryFlags & ~known)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return TRUE;
}

// CP_ACP of a US installation: Windows-1252.
static char16_t FromCp1252(unsigned char c) {
  static const char16_t high[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  return c >= 0x80 && c < 0xA0 ? high[c - 0x80] : char16_t(c);
}

std::u16string winsim::WideFromAnsi(const std::string& text) {
  std::u16string wide;
  for (unsigned char c : text) wide += FromCp1252(c);
  return wide;
}

std::string winsim::AnsiFromWide(const std::u16string& text) {
  std::string ansi;
  for (char16_t w : text) {
    char c = '?';  // the default character for what the code page lacks
    for (int b = 0; b < 256; ++b)
      if (FromCp1252(static_cast<unsigned char>(b)) == w) c = char(b);
    ansi += c;
  }
  return ansi;
}

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int bytes, LPWSTR wide, int wideChars) {
  if (codePage != CP_ACP || !text) return Fail(ERROR_INVALID_PARAMETER, 0);
  size_t n = bytes < 0 ? std::strlen(text) + 1 : size_t(bytes);
  if (wideChars == 0) return int(n);
  if (size_t(wideChars) < n) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  for (size_t i = 0; i < n; ++i) wide[i] = FromCp1252(static_cast<unsigned char>(text[i]));
  return int(n);
}
