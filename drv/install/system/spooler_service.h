// The local "spooler" service: making sure it runs, and stopping it for the length of a scope.
#pragma once
#include "win32.h"

namespace inst {

struct InstallContext;

// Starts the service and polls until it runs (at most 50 polls, 200 ms apart). The handle
// needs SERVICE_START and SERVICE_QUERY_STATUS. Logs nothing.
bool StartSpoolerAndWait(SC_HANDLE service);

// One stop of the spooler: RestartSpooler begins it; the destructor ends it by starting the
// spooler again whenever the service could be opened. With a null context nothing is logged
// or reported.
struct SpoolerRestart {
  InstallContext* context = nullptr;
  SC_HANDLE managerHandle = nullptr;
  SC_HANDLE serviceHandle = nullptr;
  bool stopRequested = false;

  SpoolerRestart() = default;
  SpoolerRestart(const SpoolerRestart&) = delete;
  SpoolerRestart& operator=(const SpoolerRestart&) = delete;
  ~SpoolerRestart();
};

// Stops the spooler and waits up to 10 s for it to stop.
void RestartSpooler(SpoolerRestart* scope, InstallContext* context);

// Starts the spooler unless it runs; false when it could not be opened or started.
bool CheckSpooler(InstallContext* context);

// Whether the spooler runs now; when not, the last error tells why (ERROR_SERVICE_NOT_ACTIVE
// when it is stopped). Logs nothing and changes nothing.
bool SpoolerRunning();

}  // namespace inst
