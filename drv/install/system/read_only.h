// A product file copied from a read-only medium (a CD, an ISO image, some shares) arrives
// read-only, and Windows then refuses both the copy that would replace it and its deletion. The
// tool clears the attribute of its own files, and only of those, before either.
#pragma once
#include "win32.h"

namespace inst {

// Clears FILE_ATTRIBUTE_READONLY of the file at `path` when it has it. False only when that
// failed, SetFileAttributesW's error then the last error; a file that is not there (or cannot be
// asked about), a folder or a reparse point is left as it is.
bool MakeWritable(const WCHAR* path);

}  // namespace inst
