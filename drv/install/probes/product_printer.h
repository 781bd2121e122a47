// Which printers are the product's: those of its driver, named exactly.
#pragma once
#include "printers/printer_list.h"

namespace inst {

bool IsProductDriver(const WCHAR* driverName);
// The first printer of the product driver in enumeration order, or null.
const PRINTER_INFO_2W* FirstProductPrinter(const PrinterList& printers);

}  // namespace inst
