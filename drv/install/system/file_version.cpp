#include "system/file_version.h"

namespace inst {

int32_t GetFileBuildNumber(const WCHAR* path) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &handle);
  if (size == 0) return kNoBuildNumber;
  void* block = GlobalAlloc(GPTR, size);
  if (!block) {
    SetLastError(DWORD(E_OUTOFMEMORY));
    return kNoBuildNumber;
  }
  int32_t build = kNoBuildNumber;
  if (GetFileVersionInfoW(path, handle, size, block)) {
    void* value = nullptr;
    UINT length = 0;
    // A root without its fixed record answers with length 0: no version then.
    if (VerQueryValueW(block, TEXT("\\"), &value, &length) && value && length >= sizeof(VS_FIXEDFILEINFO))
      build = LOWORD(static_cast<const VS_FIXEDFILEINFO*>(value)->dwProductVersionLS);
  }
  GlobalFree(block);
  return build;
}

}  // namespace inst
