// Files whose deletion failed: retried later, finally scheduled for deletion at restart.
#pragma once
#include "win32.h"

namespace inst {

struct PendingDelete {
  WCHAR* path;  // owned
  PendingDelete* next;
};

struct InstallContext;

// Releases every node without deleting anything on disk.
void ClearPendingDeletes(InstallContext* context);

}  // namespace inst
