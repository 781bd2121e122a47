#include "system/pending_deletes.h"

#include <cstring>

#include "core/install_context.h"
#include "core/install_log.h"
#include "core/wide.h"
#include "system/read_only.h"

namespace inst {

namespace {

void FreeNode(PendingDelete* node) {
  GlobalFree(node->path);
  GlobalFree(node);
}

}  // namespace

void AddPendingDelete(PendingDelete*& head, const WCHAR* path) {
  if (!path || !path[0]) return;
  for (PendingDelete* node = head; node; node = node->next)
    if (StrEqual(node->path, path)) return;
  auto* node = static_cast<PendingDelete*>(GlobalAlloc(GPTR, sizeof(PendingDelete)));
  if (!node) {
    SetLastError(DWORD(E_OUTOFMEMORY));
    return;
  }
  size_t length = StrLen(path);
  node->path = static_cast<WCHAR*>(GlobalAlloc(GPTR, (length + 1) * sizeof(WCHAR)));
  if (!node->path) {
    GlobalFree(node);
    SetLastError(DWORD(E_OUTOFMEMORY));
    return;
  }
  std::memcpy(node->path, path, length * sizeof(WCHAR));
  node->next = head;
  head = node;
}

void RetryPendingDeletes(InstallContext* context) {
  LogLine(context, TEXT("DeleteFile-try"));
  PendingDelete** link = &context->pendingDeletes;
  while (PendingDelete* node = *link) {
    if ((MakeWritable(node->path) && DeleteFileW(node->path)) || GetLastError() == ERROR_FILE_NOT_FOUND) {
      *link = node->next;
      FreeNode(node);
    } else {
      link = &node->next;
    }
  }
}

int32_t ScheduleDeletesAtReboot(InstallContext* context) {
  int32_t accepted = 0;
  for (PendingDelete* node = context->pendingDeletes; node; node = node->next)
    if (MoveFileExW(node->path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) ++accepted;
  ClearPendingDeletes(context);
  return accepted;
}

void ClearPendingDeletes(InstallContext* context) {
  while (PendingDelete* node = context->pendingDeletes) {
    context->pendingDeletes = node->next;
    FreeNode(node);
  }
}

}  // namespace inst
