// The stack protector's guard for the mingw build, in place of libssp's, which seeds it through
// CryptAcquireContextA before wWinMain: that loads a crypto provider and the DLLs it imports
// (under Wine user32, and with it version.dll from the tool's folder) before the DLL search is
// narrowed. This seed calls only kernel32, which is loaded already. Built without the protector,
// as the guard changes while it runs.
#include <windows.h>

#include <cstdint>

extern "C" {

uintptr_t __stack_chk_guard = 0x2B992DDFA23249D6u;  // before the seed: any value but 0

// A smashed stack: end at once, as the /GS check does, running no handler of the process.
[[noreturn]] void __stack_chk_fail() {
  TerminateProcess(GetCurrentProcess(), 0xC0000409u);  // STATUS_STACK_BUFFER_OVERRUN
  for (;;) {
  }
}

// A checked string function (_FORTIFY_SOURCE) found its destination too small.
[[noreturn]] void __chk_fail() { __stack_chk_fail(); }

}  // extern "C"

namespace {

// The sources of the CRT's own /GS cookie, and where ASLR put this program's stack.
uintptr_t Seed() {
  LARGE_INTEGER counter = {};
  QueryPerformanceCounter(&counter);
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  int local = 0;
  uint64_t seed = uint64_t(counter.QuadPart) ^ (uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime) ^
                  (uint64_t(GetCurrentProcessId()) << 32) ^ GetCurrentThreadId() ^ GetTickCount64() ^
                  reinterpret_cast<uintptr_t>(&local);
  seed ^= seed >> 33;  // a finaliser spreads the few changing bits over the whole word
  seed *= 0xFF51AFD7ED558CCDu;
  seed ^= seed >> 33;
  return uintptr_t(seed ? seed : 1);
}

// Dynamic initialisation: before wWinMain, with no protected frame of this file live.
const uintptr_t g_seeded = __stack_chk_guard = Seed();

}  // namespace
