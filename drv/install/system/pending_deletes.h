// Files whose deletion failed: retried later, finally scheduled for deletion at restart.
#pragma once
#include <cstdint>

#include "win32.h"

namespace inst {

// One list node; the list holds no two equal paths (case-sensitive) and the newest comes first.
struct PendingDelete {
  WCHAR* path;  // owned, never empty
  PendingDelete* next;
};

struct InstallContext;

// Adds a copy of `path` at the front unless an equal path is listed. A null or empty path, or
// one that finds no memory, is not added.
void AddPendingDelete(PendingDelete*& head, const WCHAR* path);
// Logs "DeleteFile-try" and deletes what can go now; files already gone leave the list too.
void RetryPendingDeletes(InstallContext* context);
// Asks Windows to delete every listed file at the next restart, then empties the list.
// Returns the number of requests Windows accepted.
int32_t ScheduleDeletesAtReboot(InstallContext* context);
// Releases every node without deleting anything on disk.
void ClearPendingDeletes(InstallContext* context);

}  // namespace inst
