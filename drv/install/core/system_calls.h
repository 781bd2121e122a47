// System functions that only some Windows builds export, and the true Windows version.
#pragma once
#include "win32.h"

namespace inst {

// A function of a system DLL every process has loaded, or null when this Windows lacks it.
FARPROC SystemExport(const WCHAR* module, const char* name);

template <typename Call>
Call As(FARPROC address) {
  return reinterpret_cast<Call>(reinterpret_cast<void*>(address));
}

// The version Windows really is (GetVersionExA tells a program without a compatibility manifest
// 6.2); all zeros when it cannot be asked.
OSVERSIONINFOW TrueWindowsVersion();

}  // namespace inst
