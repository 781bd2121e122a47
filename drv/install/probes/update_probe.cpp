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

// Carries out the pending deletions it can, then looks for a product file whose source is
// still there, be it a deletion that failed or a rename.
bool ProductFilePending() {
  PendingRenameList list = ReadPendingRenames();
  DeletePendingRenameSources(&list);
  bool hit = false;
  for (int32_t k = 0; k < list.pairCount; ++k)
    hit = hit || (list.existsAsFile[2 * k] == 1 && list.names[2 * k] && IsProductX64File(list.names[2 * k]));
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
