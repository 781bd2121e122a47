// The product files a run holds open from the package check to its end, so that nobody
// changes, deletes or renames them, or renames their folders, between the check and the copy.
#pragma once
#include "win32.h"

namespace inst {

// The monitor, the driver and configuration DLLs of two environments, the help file and the
// companion.
constexpr int kMaxHeldFiles = 7;

struct HeldFiles {
  HANDLE handles[kMaxHeldFiles] = {};
  int count = 0;

  HeldFiles() = default;
  HeldFiles(const HeldFiles&) = delete;
  HeldFiles& operator=(const HeldFiles&) = delete;
  // What this held is closed; it takes over what `other` held (a context made afresh).
  HeldFiles& operator=(HeldFiles&& other) noexcept;
  ~HeldFiles();
};

// Takes `file` into the holder; one more than it can hold is closed at once.
void KeepOpen(HeldFiles* held, HANDLE file);
void ReleaseHeldFiles(HeldFiles* held);

}  // namespace inst
