#include "core/wide.h"
#include "probes/status_probes.h"
#include "system/pending_renames.h"
#include "system/spooler_service.h"

namespace inst {

namespace {

constexpr int kTries = 2;
// The files the running spooler keeps loaded on this platform; the x86 ones play no part.
const WCHAR* const kProductX64Files[] = {TEXT("lmsmon64.dll"), TEXT("lmsdrv64.dll"), TEXT("lmsui64.dll")};

// The text after the last backslash, slash or colon of a stored name, its NT prefix skipped.
const WCHAR* FileNamePart(const WCHAR* name) {
  const WCHAR* path = WithoutNtPrefix(name);
  const WCHAR* part = path;
  for (const WCHAR* c = path; *c; ++c)
    if (*c == '\\' || *c == '/' || *c == ':') part = c + 1;
  return part;
}

bool IsProductX64File(const WCHAR* name) {
  const WCHAR* part = FileNamePart(name);
  for (const WCHAR* file : kProductX64Files)
    if (StrEqualNoCase(part, file)) return true;
  return false;
}

// Carries out the product's pending deletions it can, then looks for a product file whose source
// is still there: a rename, or a deletion of the product's own that failed. Another program's
// deletion of a file of the same name is that program's matter (carrying it out is not ours
// to do), so it counts no more than when it was carried out.
bool ProductFilePending() {
  PendingRenameList list = ReadPendingRenames();
  ProductFolders folders{};
  DeletePendingRenameSources(&list, &folders);
  bool hit = false;
  for (int32_t k = 0; k < list.pairCount && !hit; ++k) {
    const WCHAR* source = list.names[2 * k];
    hit = list.existsAsFile[2 * k] == 1 && source && IsProductX64File(source) &&
          (list.names[2 * k + 1] || IsOwnFile(&folders, source));
  }
  FreePendingRenameList(&list);
  return hit;
}

}  // namespace

bool ProbePendingUpdate() {
  for (int attempt = 0; attempt < kTries; ++attempt) {
    if (!ProductFilePending()) return false;
    // The restart makes the spooler let go of the product's DLLs; failures pass unnoticed.
    SpoolerRestart restart;
    RestartSpooler(&restart, nullptr);
  }
  return true;
}

}  // namespace inst
