// The local spooler's port monitors as one block owned by the list, the product monitor's
// place in it, and its listing in the install log.
#pragma once
#include <cstdint>

#include "win32.h"

namespace inst {

struct InstallContext;

struct MonitorList {
  void* records;  // count records of `level`, then their strings; null when empty
  DWORD level;
  DWORD count;
};

// Level 2. Every failure gives the empty list after its numbered log line; none is reported.
MonitorList EnumerateMonitors(InstallContext* context);
void FreeMonitorList(MonitorList* list);

// Index of the first record named exactly "LumascribeServer:" (level 1 or 2), or -1.
int32_t FindProductMonitor(const MonitorList& list);

// The numbered listing of the records' names, read as level-2 records, between a header with
// the count and a footer.
void LogMonitorList(InstallContext* context, const MonitorList& list);

}  // namespace inst
