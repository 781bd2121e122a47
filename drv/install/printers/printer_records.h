// The recovery records: every captured printer written to the machine before the first product
// printer is deleted, so that a run which fails before recreating it leaves it for the next
// install. One REG_BINARY value "SavedPrinters" in the key
// HKLM "SOFTWARE\Veldrin Software KFT\Lumascribe\Install", holding per printer its attributes
// (a DWORD), then its name, settings-key name (ANSI), comment, location and share name, each a
// DWORD byte count (0xFFFFFFFF: none) followed by the bytes.
#pragma once
#include "printers/saved_printers.h"
#include "win32.h"

namespace inst {

struct InstallContext;

// The records an earlier run left, as a new chain in their stored order (null when there are
// none). ERROR_SUCCESS, or the error of the call that failed; ERROR_INVALID_DATA when the value
// is not a list of records (the chain is then null).
DWORD ReadPrinterRecords(SavedPrinter** head);
// Makes the records those of the chain's nodes that have a settings key; without any, removes
// them with their key. ERROR_SUCCESS or the error of the call that failed.
DWORD WritePrinterRecords(const SavedPrinter* head);
// Error 19 for a read or write of the records that failed with `error`.
void ReportRecordError(InstallContext* context, DWORD error);

}  // namespace inst
