// The product's own files among the names other programs queue in "PendingFileRenameOperations".
// The tool runs elevated, so it deletes from that queue only these, and only where no reparse
// point could lead the deletion somewhere else.
#pragma once
#include "win32.h"

namespace inst {

// The folders the product's files live in, each ending in "\", empty when unknown; read at the
// first need and only then.
struct ProductFolders {
  bool read;
  WCHAR systemDir[MAX_PATH + 2];
  WCHAR driverDirs[2][MAX_PATH + 2];  // of "Windows x64" and "Windows NT x86"
};

// Whether the stored name is "\??\" and one of the product's own files, letter case aside: the
// x64 monitor DLL in the system directory, or an environment's driver, configuration or help
// file in its driver directory, in the "3\" below it, or in the spooler's "3\Old\<n>\" there.
// Every other form of name (another drive path, "\SystemRoot\", "\Device\", "\??\UNC\", "\\?\",
// ".." or doubled separators) is no product file.
bool IsOwnFile(ProductFolders* folders, const WCHAR* name);
// Whether neither the file at `path` (a full drive path) nor any folder above it is a reparse
// point, each checked as it is, and all of them exist.
bool FreeOfReparsePoints(const WCHAR* path);

}  // namespace inst
