#include "core/setup_lock.h"

namespace inst {

namespace {

constexpr DWORD kSetupLockWaitMs = 10 * 60 * 1000;
// Protected (P): no inherited entries; generic all access (GA) for SYSTEM (SY) and the
// Administrators group (BA) alone, so no other user can take or hold it.
const WCHAR kSetupLockAccess[] = TEXT("D:P(A;;GA;;;SY)(A;;GA;;;BA)");
const WCHAR kBoundaryName[] = TEXT("LumascribeSetup");
const WCHAR kAlias[] = TEXT("LumascribeSetup");
const WCHAR kMutexName[] = TEXT("LumascribeSetup\\Lock");
const WCHAR kGlobalName[] = TEXT("Global\\LumascribeSetup");
// Each failed open means a run closed the namespace between our create and open; a few turns
// of that are all a machine sees.
constexpr int kNamespaceTries = 8;

struct LocalBlock {
  PSECURITY_DESCRIPTOR block = nullptr;
  LocalBlock() = default;
  LocalBlock(const LocalBlock&) = delete;
  LocalBlock& operator=(const LocalBlock&) = delete;
  ~LocalBlock() {
    if (block) LocalFree(block);
  }
};

// The boundary holds the Administrators SID: the caller must be within it to create the
// namespace (learn.microsoft.com, CreatePrivateNamespaceW).
bool AddAdministrators(SetupLock* lock) {
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(administrators);
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
      !AddSIDToBoundaryDescriptor(&lock->boundary, administrators)) {
    lock->error = GetLastError();
    return false;
  }
  return true;
}

// Wine 8 has no private namespaces: its CreateBoundaryDescriptorW is a stub that returns null and
// sets no error (seen under Wine 8.0: "fixme:security:CreateBoundaryDescriptorW ... stub").
// There, and only there, the lock is the mutex in Global\ that earlier versions took.
bool NamespacesMissing(DWORD error) { return error == ERROR_SUCCESS || error == ERROR_CALL_NOT_IMPLEMENTED; }

// Create, else open the one another run made (ERROR_ALREADY_EXISTS); when that run closed it
// in between, the open finds none (ERROR_PATH_NOT_FOUND) and the create is tried again.
bool OpenNamespace(SetupLock* lock, SECURITY_ATTRIBUTES* attributes) {
  for (int attempt = 0; attempt < kNamespaceTries; ++attempt) {
    lock->space = CreatePrivateNamespaceW(attributes, lock->boundary, kAlias);
    if (lock->space) return true;
    lock->error = GetLastError();
    if (lock->error != ERROR_ALREADY_EXISTS) return false;
    lock->space = OpenPrivateNamespaceW(lock->boundary, kAlias);
    if (lock->space) return true;
    lock->error = GetLastError();
    if (lock->error != ERROR_PATH_NOT_FOUND) return false;
  }
  return false;
}

}  // namespace

// Without PRIVATE_NAMESPACE_FLAG_DESTROY: the namespace ends with its last handle, so a run
// still waiting in it keeps it, and the lock, for the next.
SetupLock::~SetupLock() {
  if (owned) ReleaseMutex(mutex);
  if (mutex) CloseHandle(mutex);
  if (space) ClosePrivateNamespace(space, 0);
  if (boundary) DeleteBoundaryDescriptor(boundary);
}

void TakeSetupLock(SetupLock* lock) {
  LocalBlock descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kSetupLockAccess, SDDL_REVISION_1, &descriptor.block,
                                                            nullptr)) {
    lock->error = GetLastError();
    return;
  }
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof(attributes);
  attributes.lpSecurityDescriptor = descriptor.block;
  attributes.bInheritHandle = FALSE;
  SetLastError(ERROR_SUCCESS);
  lock->boundary = CreateBoundaryDescriptorW(kBoundaryName, 0);
  const WCHAR* name = kMutexName;
  if (!lock->boundary) {
    lock->error = GetLastError();
    if (!NamespacesMissing(lock->error)) return;
    lock->error = 0;
    name = kGlobalName;
  } else if (!AddAdministrators(lock) || !OpenNamespace(lock, &attributes)) {
    return;
  }
  // An existing mutex is opened as it is, owned by nobody yet (CreateMutexW, learn.microsoft.com):
  // the wait decides.
  lock->mutex = CreateMutexW(&attributes, FALSE, name);
  if (!lock->mutex) {
    lock->error = GetLastError();
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
