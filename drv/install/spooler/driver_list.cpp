#include "spooler/driver_list.h"

#include "core/product.h"
#include "core/wide.h"

namespace inst {

namespace {

const DWORD kListLevel = 6;

// Bytes per record of levels 1 to 6: the stride through the array.
const DWORD kRecordBytes[] = {0, sizeof(DRIVER_INFO_1W), sizeof(DRIVER_INFO_2W), sizeof(DRIVER_INFO_3W),
                              sizeof(DRIVER_INFO_4W), sizeof(DRIVER_INFO_5W), sizeof(DRIVER_INFO_6W)};

}  // namespace

DriverList EnumerateDrivers(const WCHAR* environment) {
  DriverList list = {nullptr, kListLevel, 0, 0};
  WCHAR* env = const_cast<WCHAR*>(environment);
  DWORD needed = 0;
  DWORD count = 0;
  if (EnumPrinterDriversW(nullptr, env, kListLevel, nullptr, 0, &needed, &count)) return list;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    list.error = GetLastError();
    return list;
  }
  list.records = static_cast<LPBYTE>(GlobalAlloc(GPTR, needed));
  if (!list.records) {
    list.error = DWORD(E_OUTOFMEMORY);
    SetLastError(list.error);
    return list;
  }
  if (!EnumPrinterDriversW(nullptr, env, kListLevel, list.records, needed, &needed, &count)) {
    DWORD error = GetLastError();
    FreeDriverList(&list);
    list.error = error;
    SetLastError(error);
    return list;
  }
  list.count = count;
  return list;
}

void FreeDriverList(DriverList* list) {
  if (list->records) GlobalFree(list->records);
  list->records = nullptr;
  list->count = 0;
}

const WCHAR* DriverNameAt(const DriverList& list, DWORD index) {
  if (list.level < 1 || list.level > 6 || index >= list.count || !list.records) return nullptr;
  const BYTE* record = list.records + size_t(index) * kRecordBytes[list.level];
  if (list.level == 1) return reinterpret_cast<const DRIVER_INFO_1W*>(record)->pName;
  return reinterpret_cast<const DRIVER_INFO_2W*>(record)->pName;  // after cVersion at every level
}

int32_t FindProductDriver(const DriverList& list) {
  for (DWORD i = 0; i < list.count; ++i) {
    const WCHAR* name = DriverNameAt(list, i);
    if (name && StrEqual(name, PRODUCT_DRIVER_NAME)) return int32_t(i);
  }
  return -1;
}

}  // namespace inst
