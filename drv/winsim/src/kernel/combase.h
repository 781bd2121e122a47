// combase.dll's exports that winsim has: WinRT start, strings and the one activation factory.
#pragma once
#include <string>

#include "winsim/windows.h"

namespace winsim {

// The address GetProcAddress gives for `name` in combase.dll, or null.
FARPROC CombaseExport(const std::string& name);

}  // namespace winsim
