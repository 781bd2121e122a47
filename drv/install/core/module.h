// The program's one global: the module instance handle, stored by the entry first of all.
#pragma once
#include "win32.h"

namespace inst {
extern HINSTANCE g_module;
}
