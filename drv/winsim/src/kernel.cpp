// kernel32: last error, heaps, clock, system version, module path, system directory, DLL search.
#include <cstdlib>
#include <cstring>

#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

DWORD GetLastError() { return M().os.lastError; }
void SetLastError(DWORD code) { M().os.lastError = code; }

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  Trace("GlobalAlloc", std::to_string(bytes));
  if (DWORD error = FaultFor("GlobalAlloc", std::to_string(bytes))) return Fail(error, HGLOBAL(nullptr));
  void* block = std::malloc(bytes ? bytes : 1);
  if (!block) return Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL(nullptr));
  // Fresh memory on Windows is not zero either: callers that rely on zeros must ask for them.
  std::memset(block, (flags & GMEM_ZEROINIT) ? 0 : 0xCD, bytes);
  M().heap.globalBlocks[block] = bytes;
  return block;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
  if (!memory) return nullptr;
  if (!M().heap.globalBlocks.erase(memory)) return Fail(ERROR_INVALID_HANDLE, memory);
  std::free(memory);
  return nullptr;
}

HANDLE GetProcessHeap() { return reinterpret_cast<HANDLE>(uintptr_t(0x10000)); }

LPVOID HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
  Trace("HeapAlloc", std::to_string(bytes));
  // HeapAlloc sets no last error when it fails (docs: "HeapAlloc function", Remarks).
  if (FaultFor("HeapAlloc", std::to_string(bytes))) return nullptr;
  void* block = std::malloc(bytes ? bytes : 1);
  if (block) std::memset(block, (flags & HEAP_ZERO_MEMORY) ? 0 : 0xCD, bytes);
  return block;
}

LPVOID HeapReAlloc(HANDLE, DWORD, LPVOID memory, SIZE_T bytes) {
  Trace("HeapReAlloc", std::to_string(bytes));
  if (FaultFor("HeapReAlloc", std::to_string(bytes))) return nullptr;
  if (!memory) return nullptr;
  return std::realloc(memory, bytes ? bytes : 1);
}

BOOL HeapFree(HANDLE, DWORD, LPVOID memory) {
  std::free(memory);
  return TRUE;
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
