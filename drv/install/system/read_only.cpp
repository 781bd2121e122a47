#include "system/read_only.h"

namespace inst {

bool MakeWritable(const WCHAR* path) {
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY) ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return true;
  return SetFileAttributesW(path, attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)) != FALSE;
}

}  // namespace inst
