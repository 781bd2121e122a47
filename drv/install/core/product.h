// The product's fixed names and numbers.
#pragma once
#include "build_number.h"
#include "win32.h"

namespace inst {

constexpr int kBuildNumber = PRODUCT_BUILD;
// Installed monitor and driver files from this build back to the oldest compatible one.
constexpr int kOldestCompatibleBuild = 2451;

#define PRODUCT_MONITOR_NAME TEXT("LumascribeServer:")
#define PRODUCT_DRIVER_NAME TEXT("Lumascribe Server")
// The component files that do not depend on the environment.
#define PRODUCT_HELP_FILE TEXT("lmshelp.chm")
#define PRODUCT_TRAY_FILE "lumtray.exe"  // ANSI; in the parent of the tool's directory

// The spooler's name of a driver environment and the product's files that depend on it.
struct EnvironmentFiles {
  const WCHAR* environment;
  const WCHAR* monitorFile;
  const WCHAR* driverFile;
  const WCHAR* uiFile;
};

inline constexpr EnvironmentFiles kX64Files = {TEXT("Windows x64"), TEXT("lmsmon64.dll"), TEXT("lmsdrv64.dll"),
                                               TEXT("lmsui64.dll")};
inline constexpr EnvironmentFiles kX86Files = {TEXT("Windows NT x86"), TEXT("lmsmon32.dll"), TEXT("lmsdrv32.dll"),
                                               TEXT("lmsui32.dll")};
inline const EnvironmentFiles& FilesOf(bool x64) { return x64 ? kX64Files : kX86Files; }

}  // namespace inst
