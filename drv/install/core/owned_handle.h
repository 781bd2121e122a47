// A kernel object handle closed when its holder goes out of scope.
#pragma once
#include "win32.h"

namespace inst {

struct OwnedHandle {
  HANDLE handle = nullptr;

  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE h) : handle(h) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() {
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

}  // namespace inst
