#include "core/system_calls.h"

namespace inst {

typedef LONG(WINAPI* VersionCall)(OSVERSIONINFOW*);

FARPROC SystemExport(const WCHAR* module, const char* name) {
  HMODULE loaded = GetModuleHandleW(module);
  return loaded ? GetProcAddress(loaded, name) : nullptr;
}

OSVERSIONINFOW TrueWindowsVersion() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  auto call = As<VersionCall>(SystemExport(TEXT("ntdll.dll"), "RtlGetVersion"));
  if (!call || call(&version) != 0) version = OSVERSIONINFOW{};
  return version;
}

}  // namespace inst
