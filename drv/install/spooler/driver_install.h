// Installation of the product's printer driver for the context's current environment.
#pragma once
#include "core/install_context.h"

namespace inst {

// Stages the driver DLL, the configuration DLL and the help file in the environment's driver
// directory, has the spooler install "Lumascribe Server" from them, then deletes the staged
// copies; those that cannot go yet are left to the pending deletions.
void AddPrinterDriver(InstallContext* context);

}  // namespace inst
