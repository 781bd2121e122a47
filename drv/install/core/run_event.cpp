#include "core/run_event.h"

#include "core/entry.h"
#include "core/install_context.h"
#include "core/install_log.h"
#include "core/log_file.h"

namespace inst {

namespace {

const WCHAR kSource[] = TEXT("Lumascribe Setup");
const WCHAR kSourceKey[] = TEXT("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Lumascribe Setup");
// Its messages 1 to 1000 are "%1": the event's one text as it is (event-sources, EventCreate).
const WCHAR kMessageFile[] = TEXT("%SystemRoot%\\System32\\EventCreate.exe");
const DWORD kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

struct EventSource {
  HANDLE handle = RegisterEventSourceW(nullptr, kSource);
  ~EventSource() {
    if (handle) DeregisterEventSource(handle);
  }
};

struct Key {
  HKEY handle = nullptr;
  ~Key() {
    if (handle) RegCloseKey(handle);
  }
};

LONG SetValues(HKEY key) {
  LONG status = RegSetValueExW(key, TEXT("EventMessageFile"), 0, REG_EXPAND_SZ,
                               reinterpret_cast<const BYTE*>(kMessageFile), DWORD(sizeof(kMessageFile)));
  if (status != ERROR_SUCCESS) return status;
  return RegSetValueExW(key, TEXT("TypesSupported"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kTypesSupported),
                        DWORD(sizeof(kTypesSupported)));
}

}  // namespace

void AddEventSource(InstallContext* context) {
  Key key;
  DWORD disposition = 0;
  LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                nullptr, &key.handle, &disposition);
  if (status == ERROR_SUCCESS) status = SetValues(key.handle);
  if (status == ERROR_SUCCESS) return;
  if (key.handle && disposition == REG_CREATED_NEW_KEY) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSourceKey);
  LogLine(context, TEXT("The event source %s could not be registered - (%s)"), kSource,
          SystemText(DWORD(status)).Shown());
}

void ReportRunEvent(const WCHAR* word, int exitCode, const LogFile& file) {
  const FormatArg args[] = {MakeArg(word), MakeArg(exitCode), MakeArg(file.created ? file.path : TEXT("none")),
                            MakeArg(file.firstError[0] ? file.firstError : TEXT("none"))};
  WCHAR text[3 * kMaxFormatted];
  FormatInto(text, sizeof(text) / sizeof(WCHAR),
             TEXT("Lumascribe setup %s: exit code %d\r\nLog file: %s\r\nFirst error: %s"), args,
             sizeof(args) / sizeof(args[0]), Controls::Escaped);
  WORD type = exitCode == kExitErrors           ? EVENTLOG_ERROR_TYPE
              : exitCode == kExitRestartNeeded ? EVENTLOG_WARNING_TYPE
                                               : EVENTLOG_INFORMATION_TYPE;
  EventSource source;
  LPCWSTR strings[] = {text};
  if (source.handle) ReportEventW(source.handle, type, 0, DWORD(exitCode), nullptr, 1, 0, strings, nullptr);
}

void RemoveEventSource() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSourceKey); }

}  // namespace inst
