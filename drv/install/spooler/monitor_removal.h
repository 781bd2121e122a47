// Removes the product's port monitor and its DLL, unless a compatible build may stay; printers
// on its port are moved to "file:" when the spooler refuses at first.
#pragma once

#include "spooler/monitor_list.h"

namespace inst {

struct InstallContext;

// `monitors` is a level-2 list of the local spooler (EnumerateMonitors). May clear
// InstallMonitor or CopyMonitor (compatible build), rebuilds redirectedPrinters, reports Error
// 12 after three refused removals, and queues a DLL that cannot be deleted yet.
void DeleteMonitor(InstallContext* context, const MonitorList& monitors);

}  // namespace inst
