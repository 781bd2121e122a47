// One install or uninstall at a time on the machine, whoever starts it: the named mutex
// Global\LumascribeSetup, which only SYSTEM and Administrators may open.
#pragma once
#include "win32.h"

namespace inst {

struct SetupLock {
  HANDLE mutex = nullptr;
  bool owned = false;
  DWORD error = 0;  // why it is not owned: WAIT_TIMEOUT after the wait, else the failing call's

  SetupLock() = default;
  SetupLock(const SetupLock&) = delete;
  SetupLock& operator=(const SetupLock&) = delete;
  ~SetupLock();  // releases and closes it
};

// Waits up to 10 minutes for the run that holds it. A mutex whose owner died (abandoned) is
// this run's: that run has ended, whatever it left undone is what this run redoes.
void TakeSetupLock(SetupLock* lock);

}  // namespace inst
