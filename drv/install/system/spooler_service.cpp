#include "system/spooler_service.h"

#include "core/install_log.h"

namespace inst {

namespace {

const WCHAR kSpooler[] = TEXT("spooler");
const DWORD kManagerAccess = STANDARD_RIGHTS_REQUIRED | SC_MANAGER_CONNECT;
const DWORD kPollMs = 200;
const int kPolls = 50;

// Polls until the service is in `state`; a failed query leaves the previous reading in force.
bool WaitForState(SC_HANDLE service, SERVICE_STATUS* status, DWORD state) {
  QueryServiceStatus(service, status);
  for (int poll = 0; poll < kPolls && status->dwCurrentState != state; ++poll) {
    Sleep(kPollMs);
    QueryServiceStatus(service, status);
  }
  return status->dwCurrentState == state;
}

}  // namespace

bool StartSpoolerAndWait(SC_HANDLE service) {
  StartServiceW(service, 0, nullptr);
  SERVICE_STATUS status = {};
  return WaitForState(service, &status, SERVICE_RUNNING);
}

void RestartSpooler(SpoolerRestart* scope, InstallContext* context) {
  if (context) LogLine(context, TEXT(">Restart Spooler"));
  scope->context = context;
  scope->serviceHandle = nullptr;
  scope->managerHandle = OpenSCManagerW(nullptr, nullptr, kManagerAccess);
  if (!scope->managerHandle) {
    if (context) ReportError(context, 1, TEXT("Can't open service manager."));
    return;
  }
  scope->serviceHandle = OpenServiceW(scope->managerHandle, kSpooler,
                                      SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP);
  if (!scope->serviceHandle) {
    if (context) ReportError(context, 2, TEXT("Can't open the spooler"));
    return;
  }
  SERVICE_STATUS status = {};
  if (!ControlService(scope->serviceHandle, SERVICE_CONTROL_STOP, &status)) {
    DWORD code = GetLastError();
    if (code != ERROR_SERVICE_NOT_ACTIVE && context)
      ReportError(context, 5, TEXT("ControlService failed with code %d (0x%x)"), int32_t(code), code);
  }
  scope->stopRequested = true;
  if (!WaitForState(scope->serviceHandle, &status, SERVICE_STOPPED) && context)
    ReportError(context, 3, TEXT("Can't stop the spooler"));
}

SpoolerRestart::~SpoolerRestart() {
  if (serviceHandle) {
    if (stopRequested && !StartSpoolerAndWait(serviceHandle) && context)
      ReportError(context, 4, TEXT("Can't start the spooler"));
    CloseServiceHandle(serviceHandle);
  }
  if (managerHandle) CloseServiceHandle(managerHandle);
}

bool CheckSpooler(InstallContext* context) {
  LogLine(context, TEXT(">Check Spooler"));
  ++context->indent;
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, kManagerAccess);
  if (!manager) {
    ReportError(context, 1, TEXT("Can't open service manager."));
    --context->indent;
    return false;
  }
  bool result = false;
  SC_HANDLE service = OpenServiceW(manager, kSpooler, SERVICE_QUERY_STATUS | SERVICE_START);
  if (!service) {
    ReportError(context, 2, TEXT("Can't open the spooler"));
  } else {
    result = true;
    SERVICE_STATUS status = {};
    if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING &&
        !StartSpoolerAndWait(service)) {
      ReportError(context, 4, TEXT("Can't start the spooler"));
      result = false;
    }
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  --context->indent;
  return result;
}

bool SpoolerRunning() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, kManagerAccess);
  if (!manager) return false;
  SC_HANDLE service = OpenServiceW(manager, kSpooler, SERVICE_QUERY_STATUS);
  SERVICE_STATUS status = {};
  bool queried = service && QueryServiceStatus(service, &status);
  DWORD error = GetLastError();
  if (service) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  bool running = queried && status.dwCurrentState == SERVICE_RUNNING;
  SetLastError(queried && !running ? DWORD(ERROR_SERVICE_NOT_ACTIVE) : error);
  return running;
}

}  // namespace inst
