#include "spooler/monitor_list.h"

#include "core/install_log.h"
#include "core/product.h"
#include "core/wide.h"

namespace inst {

namespace {

const DWORD kLevel = 2;

// The system's text for `code` as it gives it, line break included, unlike SystemErrorText.
void LogEnumFailure(InstallContext* context, Format<const WCHAR*> format, DWORD code) {
  WCHAR* text = nullptr;
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  if (!FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                      reinterpret_cast<LPWSTR>(&text), 0, nullptr))
    text = nullptr;
  const WCHAR* shown = text ? text : TEXT("No Error or no description");
  // The system's own text, line break and all: not escaped as machine text is.
  WCHAR line[kMaxFormatted + 1];
  FormatTo(line, kMaxFormatted + 1, format, shown);
  WriteLogLine(context, line);
  if (text) LocalFree(text);
}

const WCHAR* NameAt(const MonitorList& list, DWORD i) {
  if (list.level == 1) return static_cast<const MONITOR_INFO_1W*>(list.records)[i].pName;
  return static_cast<const MONITOR_INFO_2W*>(list.records)[i].pName;
}

}  // namespace

MonitorList EnumerateMonitors(InstallContext* context) {
  MonitorList list = {nullptr, kLevel, 0};
  DWORD needed = 0;
  if (EnumMonitorsW(nullptr, kLevel, nullptr, 0, &needed, &list.count)) {
    LogLine(context, TEXT("1. EnumMonitors returns true"));
    list.count = 0;  // nothing was handed over
    return list;
  }
  DWORD code = GetLastError();
  if (code != ERROR_INSUFFICIENT_BUFFER) {
    LogEnumFailure(context, TEXT("2. EnumMonitors  failed with code: %s"), code);
    list.count = 0;
    return list;
  }
  list.records = GlobalAlloc(GPTR, needed);
  if (!list.records) {
    LogLine(context, TEXT("3. EnumMonitors - can't allocate memory for buffer"));
    SetLastError(DWORD(E_OUTOFMEMORY));
    list.count = 0;
    return list;
  }
  if (!EnumMonitorsW(nullptr, kLevel, static_cast<LPBYTE>(list.records), needed, &needed, &list.count)) {
    LogEnumFailure(context, TEXT("3. EnumMonitors  failed with code: %s"), GetLastError());
    FreeMonitorList(&list);
  }
  return list;
}

void FreeMonitorList(MonitorList* list) {
  if (list->records) GlobalFree(list->records);
  list->records = nullptr;
  list->count = 0;
}

int32_t FindProductMonitor(const MonitorList& list) {
  if (list.level != 1 && list.level != 2) return -1;
  for (DWORD i = 0; i < list.count; ++i) {
    const WCHAR* name = NameAt(list, i);
    if (name && StrEqual(name, PRODUCT_MONITOR_NAME)) return int32_t(i);
  }
  return -1;
}

void LogMonitorList(InstallContext* context, const MonitorList& list) {
  LogLine(context, TEXT("------- %d existing monitors ----------"), list.count);
  for (DWORD i = 0; i < list.count; ++i) {
    const WCHAR* name = static_cast<const MONITOR_INFO_2W*>(list.records)[i].pName;
    LogLine(context, TEXT("%d. %s"), i + 1, name ? name : TEXT("***EMPTY***"));
  }
  LogLine(context, TEXT("---------------------------------------"));
}

}  // namespace inst
