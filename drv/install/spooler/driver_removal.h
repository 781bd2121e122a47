// Removal of the product's printer driver from the context's current environment.
#pragma once
#include "core/install_context.h"
#include "spooler/driver_list.h"

namespace inst {

// Logs the drivers of `drivers` (a level-6 list of the current environment) and removes
// "Lumascribe Server" with its files, restarting the spooler once when it refuses.
void DeletePrinterDriver(InstallContext* context, const DriverList& drivers);

}  // namespace inst
