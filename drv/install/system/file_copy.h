// Copies a product file from the tool's directory into a target directory, waiting a while for a
// destination that another program holds open.
#pragma once
#include "core/counted_string.h"
#include "win32.h"

namespace inst {

struct InstallContext;

// Copies `fileName` from `moduleDir` into `targetDir` (empty: the current directory). `outPath`,
// when given, receives the destination path before anything is opened. Failures to open either
// file, or to build their paths, are reported only with `reportOpenErrors`; a short write or a
// failed read always is. A path the copy could not build leaves `outPath` empty.
// S_OK or E_FAIL.
HRESULT CopyFile(InstallContext* context, const WCHAR* targetDir, const WCHAR* fileName,
                 CountedString* outPath, bool reportOpenErrors);

// Creates or truncates `path` for writing, retrying while it is locked: at most 100 attempts
// 50 ms apart within 10 s. INVALID_HANDLE_VALUE when it gives up, with the last error of the
// last attempt.
HANDLE OpenForWriteWithRetry(InstallContext* context, const WCHAR* path);

}  // namespace inst
