// The questions the product's setup asks through the exit code. The probes take no context,
// write no log and report nothing: every failure becomes the answer for an undetermined state.
#pragma once
#include "win32.h"

namespace inst {

// A printer of the product driver exists, and the driver DLL of the first one is of build
// 2451 or later.
bool ProbeDriverVersion();
// Product x64 files are still waiting in the pending file rename operations after two
// restarts of the spooler. Carries out every pending deletion it can on the way.
bool ProbePendingUpdate();
// The default printer is not a printer of the product driver, or there is no usable one.
bool ProbeDefaultPrinter();
// Makes the first printer of the product driver the default printer, when there is one.
void SetProductPrinterDefault();

// The printer's driver record at level 2 in a zero-filled block the caller releases with
// GlobalFree, or null.
DRIVER_INFO_2W* GetDriverInfo2(HANDLE printer);
// ClosePrinter, whatever it answers.
void ClosePrinterQuietly(HANDLE printer);

}  // namespace inst
