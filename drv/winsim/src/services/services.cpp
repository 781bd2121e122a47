// advapi32: the service control manager. Services move through their pending states in
// simulated time; handles carry the access they were opened with, checked as Windows does.
#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

namespace winsim {

static void Advance(Service& service) {
  uint64_t now = M().clock.nowMs;
  bool starting = service.state == SERVICE_START_PENDING;
  int64_t delay = starting ? service.startDelayMs : service.stopDelayMs;
  if (!starting && service.state != SERVICE_STOP_PENDING) return;
  if (delay < 0 || now < service.pendingSinceMs + uint64_t(delay)) return;
  service.state = starting ? SERVICE_RUNNING : SERVICE_STOPPED;
  if (starting) ++service.starts;
}

Service* FindService(const std::string& name) {
  for (Service& service : M().services.services) {
    if (!EqualNoCase(service.name, name)) continue;
    Advance(service);
    return &service;
  }
  return nullptr;
}

bool ServiceRunning(const std::string& name) {
  const Service* service = FindService(name);
  return service && service->state == SERVICE_RUNNING;
}

uint32_t SpoolerStarts() {
  const Service* spooler = FindService("Spooler");
  return spooler ? spooler->starts : 0;
}

DWORD SpoolerUnavailable() { return ServiceRunning("Spooler") ? 0 : DWORD(RPC_S_SERVER_UNAVAILABLE); }

}  // namespace winsim

namespace {

uint64_t Key(SC_HANDLE handle) { return reinterpret_cast<uint64_t>(handle); }

ServiceHandle* FindHandle(SC_HANDLE handle) {
  auto found = M().services.handles.find(Key(handle));
  return found == M().services.handles.end() ? nullptr : &found->second;
}

// The service behind a service handle (not a manager handle), or null.
Service* ServiceOf(SC_HANDLE handle) {
  ServiceHandle* open = FindHandle(handle);
  return open && !open->service.empty() ? FindService(open->service) : nullptr;
}

std::string NameOf(SC_HANDLE handle) {
  ServiceHandle* open = FindHandle(handle);
  return open ? (open->service.empty() ? "manager" : open->service) : "?";
}

SC_HANDLE NewHandle(const std::string& service, DWORD access) {
  ServiceState& state = M().services;
  uint64_t key = state.nextHandle;
  state.nextHandle += 0x10;
  state.handles[key] = {service, access};
  return reinterpret_cast<SC_HANDLE>(key);
}

// Generic rights as the service object maps them; the caller is an administrator, so every
// specific right it asks for is granted.
DWORD MapServiceAccess(DWORD access) {
  if (access & GENERIC_READ)
    access |= STANDARD_RIGHTS_READ | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
              SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS;
  if (access & GENERIC_EXECUTE)
    access |= SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL;
  if (access & GENERIC_ALL) access |= SERVICE_ALL_ACCESS;
  return access;
}

void FillStatus(const Service& service, LPSERVICE_STATUS status) {
  bool pending = service.state == SERVICE_START_PENDING || service.state == SERVICE_STOP_PENDING;
  *status = SERVICE_STATUS{};
  status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status->dwCurrentState = service.state;
  status->dwControlsAccepted = service.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status->dwCheckPoint = pending ? 1 : 0;
  status->dwWaitHint = pending ? 2000 : 0;
}

std::string Hex(DWORD value) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), digits[value & 0xF]);
    value >>= 4;
  } while (value);
  return "0x" + text;
}

}  // namespace

SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess) {
  Trace("OpenSCManagerW", Hex(desiredAccess));
  if (DWORD error = FaultFor("OpenSCManagerW")) return Fail(error, SC_HANDLE(nullptr));
  if (machineName && *machineName) return Fail(DWORD(RPC_S_SERVER_UNAVAILABLE), SC_HANDLE(nullptr));
  if (databaseName && !EqualNoCase(Utf8(databaseName), "ServicesActive"))
    return Fail(DWORD(ERROR_DATABASE_DOES_NOT_EXIST), SC_HANDLE(nullptr));
  // One that succeeds sets the last error to 0 (Wine's advapi32 service.c conformance tests,
  // which pass on Windows: ERROR_SUCCESS after a successful open of the local manager).
  SetLastError(ERROR_SUCCESS);
  return NewHandle(std::string(), desiredAccess | SC_MANAGER_CONNECT);
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess) {
  std::string name = Utf8(serviceName);
  Trace("OpenServiceW", name + " " + Hex(desiredAccess));
  if (DWORD error = FaultFor("OpenServiceW", name)) return Fail(error, SC_HANDLE(nullptr));
  ServiceHandle* open = FindHandle(manager);
  if (!open || !open->service.empty()) return Fail(DWORD(ERROR_INVALID_HANDLE), SC_HANDLE(nullptr));
  if (!serviceName) return Fail(DWORD(ERROR_INVALID_ADDRESS), SC_HANDLE(nullptr));
  if (name.empty()) return Fail(DWORD(ERROR_INVALID_NAME), SC_HANDLE(nullptr));
  const Service* service = FindService(name);
  if (!service) return Fail(DWORD(ERROR_SERVICE_DOES_NOT_EXIST), SC_HANDLE(nullptr));
  return NewHandle(service->name, MapServiceAccess(desiredAccess));
}

BOOL ControlService(SC_HANDLE handle, DWORD control, LPSERVICE_STATUS status) {
  std::string name = NameOf(handle);
  Trace("ControlService", name + " " + std::to_string(control));
  if (DWORD error = FaultFor("ControlService", name)) return Fail(error, FALSE);
  Service* service = ServiceOf(handle);
  if (!service) return Fail(DWORD(ERROR_INVALID_HANDLE), FALSE);
  if (!status) return Fail(DWORD(ERROR_INVALID_ADDRESS), FALSE);
  DWORD needed = control == SERVICE_CONTROL_STOP          ? DWORD(SERVICE_STOP)
                 : control == SERVICE_CONTROL_INTERROGATE ? DWORD(SERVICE_INTERROGATE)
                                                          : 0;
  if (!needed) return Fail(DWORD(ERROR_INVALID_PARAMETER), FALSE);
  if (!(FindHandle(handle)->access & needed)) return Fail(DWORD(ERROR_ACCESS_DENIED), FALSE);
  // Windows reports the status along with these refusals too.
  FillStatus(*service, status);
  if (service->state == SERVICE_STOPPED) return Fail(DWORD(ERROR_SERVICE_NOT_ACTIVE), FALSE);
  if (service->state != SERVICE_RUNNING) return Fail(DWORD(ERROR_SERVICE_CANNOT_ACCEPT_CTRL), FALSE);
  if (control == SERVICE_CONTROL_STOP) {
    service->state = SERVICE_STOP_PENDING;
    service->pendingSinceMs = M().clock.nowMs;
    FillStatus(*service, status);
  }
  return TRUE;
}

BOOL QueryServiceStatus(SC_HANDLE handle, LPSERVICE_STATUS status) {
  std::string name = NameOf(handle);
  Trace("QueryServiceStatus", name);
  if (DWORD error = FaultFor("QueryServiceStatus", name)) return Fail(error, FALSE);
  Service* service = ServiceOf(handle);
  if (!service) return Fail(DWORD(ERROR_INVALID_HANDLE), FALSE);
  if (!(FindHandle(handle)->access & SERVICE_QUERY_STATUS)) return Fail(DWORD(ERROR_ACCESS_DENIED), FALSE);
  if (!status) return Fail(DWORD(ERROR_INVALID_ADDRESS), FALSE);
  FillStatus(*service, status);
  return TRUE;
}

BOOL StartServiceW(SC_HANDLE handle, DWORD, LPCWSTR*) {
  std::string name = NameOf(handle);
  Trace("StartServiceW", name);
  if (DWORD error = FaultFor("StartServiceW", name)) return Fail(error, FALSE);
  Service* service = ServiceOf(handle);
  if (!service) return Fail(DWORD(ERROR_INVALID_HANDLE), FALSE);
  if (!(FindHandle(handle)->access & SERVICE_START)) return Fail(DWORD(ERROR_ACCESS_DENIED), FALSE);
  // A service that is still stopping counts as running until it has stopped.
  if (service->state != SERVICE_STOPPED) return Fail(DWORD(ERROR_SERVICE_ALREADY_RUNNING), FALSE);
  service->state = SERVICE_START_PENDING;
  service->pendingSinceMs = M().clock.nowMs;
  Advance(*service);
  return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
  Trace("CloseServiceHandle", NameOf(handle));
  if (DWORD error = FaultFor("CloseServiceHandle", NameOf(handle))) return Fail(error, FALSE);
  if (!M().services.handles.erase(Key(handle))) return Fail(DWORD(ERROR_INVALID_HANDLE), FALSE);
  return TRUE;
}
