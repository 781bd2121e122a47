// One install or uninstall at a time on the machine, whoever starts it: the mutex
// "LumascribeSetup\Lock" in a private namespace bounded by the Administrators group, so that only
// an administrator's elevated run or SYSTEM can make or hold it. A name in Global\ could be taken
// first by any user; only a system without private namespaces (Wine 8) gets Global\LumascribeSetup.
#pragma once
#include "win32.h"

namespace inst {

struct SetupLock {
  HANDLE boundary = nullptr;   // the boundary descriptor
  HANDLE space = nullptr;      // the private namespace: open until the mutex is released
  HANDLE mutex = nullptr;
  bool owned = false;
  DWORD error = 0;  // why it is not owned: WAIT_TIMEOUT after the wait, else the failing call's

  SetupLock() = default;
  SetupLock(const SetupLock&) = delete;
  SetupLock& operator=(const SetupLock&) = delete;
  ~SetupLock();  // releases and closes the mutex, then the namespace
};

// Waits up to 10 minutes for the run that holds it. A mutex whose owner died (abandoned) is
// this run's: that run has ended, whatever it left undone is what this run redoes.
void TakeSetupLock(SetupLock* lock);

}  // namespace inst
