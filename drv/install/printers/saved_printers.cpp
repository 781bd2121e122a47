#include "printers/saved_printers.h"

namespace inst {

void FreeSavedPrinters(SavedPrinter*& head) {
  while (SavedPrinter* node = head) {
    head = node->next;
    GlobalFree(node->subKey);
    GlobalFree(node);
  }
}

}  // namespace inst
