#include "core/setup_lock.h"

namespace inst {

namespace {

constexpr DWORD kSetupLockWaitMs = 10 * 60 * 1000;
// Protected (P): no inherited entries; generic all access (GA) for SYSTEM (SY) and the
// Administrators group (BA) alone, so no other user can take or hold it.
const WCHAR kSetupLockAccess[] = TEXT("D:P(A;;GA;;;SY)(A;;GA;;;BA)");

}  // namespace

SetupLock::~SetupLock() {
  if (owned) ReleaseMutex(mutex);
  if (mutex) CloseHandle(mutex);
}

void TakeSetupLock(SetupLock* lock) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kSetupLockAccess, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    lock->error = GetLastError();
    return;
  }
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof(attributes);
  attributes.lpSecurityDescriptor = descriptor;
  attributes.bInheritHandle = FALSE;
  // An existing mutex is opened as it is, owned by nobody yet (CreateMutexW, learn.microsoft.com):
  // the wait decides.
  lock->mutex = CreateMutexW(&attributes, FALSE, TEXT("Global\\LumascribeSetup"));
  DWORD error = GetLastError();
  LocalFree(descriptor);
  if (!lock->mutex) {
    lock->error = error;
    return;
  }
  DWORD waited = WaitForSingleObject(lock->mutex, kSetupLockWaitMs);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
    lock->owned = true;
    return;
  }
  lock->error = waited == WAIT_TIMEOUT ? DWORD(WAIT_TIMEOUT) : GetLastError();
}

}  // namespace inst
