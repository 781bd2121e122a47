// advapi32's event log calls for a program that writes to the Application log
// (learn.microsoft.com: RegisterEventSourceW, ReportEventW, DeregisterEventSource).
#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

// A source nobody registered still logs, into the Application log; the viewer then has no
// description for its events (RegisterEventSourceW page).
HANDLE RegisterEventSourceW(LPCWSTR serverName, LPCWSTR sourceName) {
  std::string source = sourceName ? Utf8(sourceName) : std::string();
  Trace("RegisterEventSourceW", source);
  if (DWORD error = FaultFor("RegisterEventSourceW", source)) return Fail(error, HANDLE(nullptr));
  if (serverName && *serverName) return Fail(DWORD(RPC_S_SERVER_UNAVAILABLE), HANDLE(nullptr));  // no other machines
  if (source.empty()) return Fail(DWORD(ERROR_INVALID_PARAMETER), HANDLE(nullptr));
  uint64_t handle = NewKernelHandle();
  M().eventLog.handles[handle] = source;
  return reinterpret_cast<HANDLE>(handle);
}

// Each string holds at most 31,839 characters (ReportEventW page).
BOOL ReportEventW(HANDLE eventLog, WORD type, WORD, DWORD eventId, PSID, WORD numStrings, DWORD dataSize,
                  LPCWSTR* strings, LPVOID rawData) {
  Trace("ReportEventW", std::to_string(eventId));
  if (DWORD error = FaultFor("ReportEventW", std::to_string(eventId))) return Fail(error, FALSE);
  auto source = M().eventLog.handles.find(reinterpret_cast<uint64_t>(eventLog));
  if (source == M().eventLog.handles.end()) return Fail(DWORD(ERROR_INVALID_HANDLE), FALSE);
  const WORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE |
                     EVENTLOG_AUDIT_SUCCESS | EVENTLOG_AUDIT_FAILURE;
  if ((type & ~types) || (numStrings && !strings) || (dataSize && !rawData))
    return Fail(DWORD(ERROR_INVALID_PARAMETER), FALSE);
  LoggedEvent event{source->second, type, eventId, {}, M().clock.nowMs};
  for (WORD i = 0; i < numStrings; ++i) {
    if (!strings[i]) return Fail(DWORD(ERROR_INVALID_PARAMETER), FALSE);
    std::u16string text(strings[i]);
    if (text.size() > 31839) return Fail(DWORD(ERROR_INVALID_PARAMETER), FALSE);
    event.strings.push_back(Utf8(text));
  }
  M().eventLog.events.push_back(event);
  return TRUE;
}

BOOL DeregisterEventSource(HANDLE eventLog) {
  Trace("DeregisterEventSource");
  if (DWORD error = FaultFor("DeregisterEventSource")) return Fail(error, FALSE);
  if (!M().eventLog.handles.erase(reinterpret_cast<uint64_t>(eventLog)))
    return Fail(DWORD(ERROR_INVALID_HANDLE), FALSE);
  return TRUE;
}
