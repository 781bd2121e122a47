// Puts pieces of the product on the simulated machine directly, as an earlier install left them.
#pragma once
#include <string>

#include "winsim/win_types.h"

namespace test {

// Installs "Lumascribe Server" for `environment` whose driver DLL is of `build` (negative: a DLL
// without a version resource).
void InstallProductDriver(int build, const char16_t* environment = u"Windows x64");
// Adds a local printer on the product port.
void AddProductPrinter(const std::string& name, const std::string& driver = "Lumascribe Server");

}  // namespace test
