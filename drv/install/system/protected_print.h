// Whether Windows protected print mode is on, as Windows itself answers it from build 26100 on:
// the WinRT property that also sees the switch in Settings.
#pragma once

namespace inst {

struct InstallContext;

constexpr unsigned kFirstProtectedPrintBuild = 26100;

// Asks WindowsProtectedPrintInfo.IsProtectedPrintEnabled through combase.dll. A step that fails
// (the class cannot be activated, ...) is logged, and the mode counts as off.
bool ProtectedPrintEnabled(InstallContext* context);

}  // namespace inst
