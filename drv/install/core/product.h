// The product's fixed names and numbers.
#pragma once
#include "win32.h"

namespace inst {

constexpr int kBuildNumber = 2501;
// Installed monitor and driver files from this build back to the oldest compatible one.
constexpr int kOldestCompatibleBuild = 2451;

#define PRODUCT_MONITOR_NAME TEXT("LumascribeServer:")
#define PRODUCT_DRIVER_NAME TEXT("Lumascribe Server")

}  // namespace inst
