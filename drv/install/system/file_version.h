// The build number of a product file: the fourth part of the product version in its version
// resource.
#pragma once
#include <cstdint>

#include "win32.h"

namespace inst {

constexpr int32_t kNoBuildNumber = -1;

// 0 to 65535, or kNoBuildNumber when the file has no readable version resource.
int32_t GetFileBuildNumber(const WCHAR* path);

}  // namespace inst
