#include "probes/product_printer.h"

#include "core/product.h"
#include "core/wide.h"

namespace inst {

bool IsProductDriver(const WCHAR* driverName) { return StrEqual(driverName, PRODUCT_DRIVER_NAME); }

const PRINTER_INFO_2W* FirstProductPrinter(const PrinterList& printers) {
  for (DWORD i = 0; i < printers.count; ++i)
    if (IsProductDriver(printers.entries[i].pDriverName)) return &printers.entries[i];
  return nullptr;
}

}  // namespace inst
