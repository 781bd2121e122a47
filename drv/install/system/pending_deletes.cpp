#include "system/pending_deletes.h"

#include "core/install_context.h"

namespace inst {

void ClearPendingDeletes(InstallContext* context) {
  while (PendingDelete* node = context->pendingDeletes) {
    context->pendingDeletes = node->next;
    GlobalFree(node->path);
    GlobalFree(node);
  }
}

}  // namespace inst
