// Where the package may lie: only in places that nobody but administrators can change, since
// what the install copies and starts runs with the machine's highest rights.
#pragma once
#include "win32.h"

namespace inst {

struct InstallContext;

// Whether one DACL entry lets its account change the file or folder it belongs to: an allow
// entry that applies to the object itself (an inherit-only one applies only below) granting
// writing, appending, adding a file or folder, deletion, deletion of children, or changing the
// rights or the owner. In a drive's root, adding folders alone does not count: a new folder
// cannot replace one that is there.
bool EntryLetsChange(BYTE aceType, BYTE aceFlags, DWORD mask, bool driveRoot);
// Whether the account (a SID as text) may change the package: SYSTEM, Administrators,
// TrustedInstaller, a domain's administrator groups (RIDs 512 and 519), or `self`, the account
// the tool runs as (may be null).
bool TrustedAccount(const WCHAR* sid, const WCHAR* self);

// The account the tool runs as, as a SID text in a block released with LocalFree; null when
// its token cannot be read.
WCHAR* RunningAccountSid();

// Every folder from the root of `moduleDir`'s drive (or share) down to `moduleDir` itself, the
// companion's folder among them; then CheckPathRights for each. Reports the first problem.
bool CheckFolderRights(InstallContext* context, const WCHAR* moduleDir, const WCHAR* self);
// `path` is no reparse point, and only trusted accounts own it or hold an entry that lets them
// change it; else error 29 naming the path and the account.
bool CheckPathRights(InstallContext* context, const WCHAR* path, bool driveRoot, const WCHAR* self);

}  // namespace inst
