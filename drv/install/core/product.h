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
// The component files that do not depend on the environment (those that do are in the
// environment table of install_context.cpp).
#define PRODUCT_HELP_FILE TEXT("lmshelp.chm")
#define PRODUCT_TRAY_FILE "lumtray.exe"  // ANSI; in the parent of the tool's directory

}  // namespace inst
