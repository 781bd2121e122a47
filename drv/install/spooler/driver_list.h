// The local spooler's printer drivers of one environment, and the product's driver among them.
#pragma once
#include <cstdint>

#include "win32.h"

namespace inst {

struct DriverList {
  LPBYTE records;  // count records of `level`, then their strings; null when empty
  DWORD level;
  DWORD count;
  DWORD error;  // why the enumeration failed; 0 when it did not
};

// The drivers at level 6; empty when there are none or the enumeration failed (`error` and the
// last error then tell why). Writes no log line.
DriverList EnumerateDrivers(const WCHAR* environment);
void FreeDriverList(DriverList* list);

// The name of record `index` of a list of level 1 to 6, or null.
const WCHAR* DriverNameAt(const DriverList& list, DWORD index);

// The index of the first record named exactly "Lumascribe Server", or -1.
int32_t FindProductDriver(const DriverList& list);

}  // namespace inst
