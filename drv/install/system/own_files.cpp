#include "system/own_files.h"

#include "core/product.h"
#include "core/wide.h"

namespace inst {

namespace {

// Room for a driver directory, "3\Old\", a number and a file name.
constexpr size_t kLongestOwnPath = 2 * MAX_PATH;

// Only reads: the system directory and both driver directories (the spooler's answer, so a
// driver directory stays unknown while the spooler is stopped).
void ReadFolders(ProductFolders* folders) {
  *folders = ProductFolders{};
  folders->read = true;
  UINT length = GetSystemDirectoryW(folders->systemDir, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    folders->systemDir[0] = 0;
  else
    EndWithBackslash(folders->systemDir);
  const EnvironmentFiles* files[] = {&kX64Files, &kX86Files};
  for (int e = 0; e < 2; ++e) {
    WCHAR* dir = folders->driverDirs[e];
    DWORD needed = 0;
    // One character short of the buffer: room for the separator.
    if (GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(files[e]->environment), 1, reinterpret_cast<LPBYTE>(dir),
                                   DWORD((MAX_PATH + 1) * sizeof(WCHAR)), &needed))
      EndWithBackslash(dir);
    else
      dir[0] = 0;
  }
}

// Past "Old\<n>\" at the start of `rest`, or null.
const WCHAR* PastOldFolder(const WCHAR* rest) {
  const WCHAR* digits = StrAfterNoCase(rest, TEXT("Old\\"));
  if (!digits || *digits < '0' || *digits > '9') return nullptr;
  while (*digits >= '0' && *digits <= '9') ++digits;
  return *digits == '\\' ? digits + 1 : nullptr;
}

bool IsDriverFile(const EnvironmentFiles& files, const WCHAR* rest) {
  if (const WCHAR* version = StrAfterNoCase(rest, TEXT("3\\"))) {
    const WCHAR* old = PastOldFolder(version);
    rest = old ? old : version;
  }
  return StrEqualNoCase(rest, files.driverFile) || StrEqualNoCase(rest, files.uiFile) ||
         StrEqualNoCase(rest, PRODUCT_HELP_FILE);
}

}  // namespace

bool IsOwnFile(ProductFolders* folders, const WCHAR* name) {
  const WCHAR* path = StrAfterNoCase(name, TEXT("\\??\\"));
  if (!path) return false;
  if (!folders->read) ReadFolders(folders);
  const WCHAR* rest = StrAfterNoCase(path, folders->systemDir);
  if (rest && StrEqualNoCase(rest, kX64Files.monitorFile)) return true;
  const EnvironmentFiles* files[] = {&kX64Files, &kX86Files};
  for (int e = 0; e < 2; ++e) {
    rest = StrAfterNoCase(path, folders->driverDirs[e]);
    if (rest && IsDriverFile(*files[e], rest)) return true;
  }
  return false;
}

bool FreeOfReparsePoints(const WCHAR* path) {
  size_t length = StrLen(path);
  if (length < 4 || length >= kLongestOwnPath) return false;
  WCHAR part[kLongestOwnPath] = {};
  for (size_t i = 0; i <= length; ++i) part[i] = path[i];
  // Each folder below the drive's root, then the file; GetFileAttributesW gives a junction's
  // or a link's own attributes, not its target's.
  for (size_t end = 3; end <= length; ++end) {
    if (end < length && path[end] != '\\') continue;
    part[end] = 0;
    DWORD attributes = GetFileAttributesW(part);
    part[end] = path[end];
    bool folder = end < length;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        folder != ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0))
      return false;
  }
  return true;
}

}  // namespace inst
