#include "printers/printer_records.h"

#include <cstring>

#include "core/install_log.h"
#include "core/wide.h"

namespace inst {

namespace {

const WCHAR kRecordsKey[] = TEXT("SOFTWARE\\Veldrin Software KFT\\Lumascribe\\Install");
const WCHAR kRecordsValue[] = TEXT("SavedPrinters");
const DWORD kNone = 0xFFFFFFFF;

// A field as stored: its byte count, then its bytes; none for a null text.
struct Field {
  const void* data;
  DWORD bytes;
};

Field TextField(const WCHAR* text) { return {text, text ? DWORD((StrLen(text) + 1) * sizeof(WCHAR)) : kNone}; }
Field AnsiField(const char* text) { return {text, text ? DWORD(std::strlen(text) + 1) : kNone}; }

// Writes the record of `node` at `out` (when not null) and returns its size in bytes.
size_t PutRecord(BYTE* out, const SavedPrinter* node) {
  const Field fields[] = {TextField(node->name), AnsiField(node->subKey), TextField(node->comment),
                          TextField(node->location), TextField(node->shareName)};
  size_t at = 0;
  auto put = [&](const void* data, size_t bytes) {
    if (out && bytes) std::memcpy(out + at, data, bytes);
    at += bytes;
  };
  put(&node->attributes, sizeof(DWORD));
  for (const Field& field : fields) {
    put(&field.bytes, sizeof(DWORD));
    if (field.bytes != kNone) put(field.data, field.bytes);
  }
  return at;
}

// A stored field read at `*at`; false when the data ends early or the text lacks its terminator.
bool TakeField(const BYTE* data, size_t size, size_t* at, const void** field, size_t unit) {
  DWORD bytes = 0;
  if (size - *at < sizeof(DWORD)) return false;
  std::memcpy(&bytes, data + *at, sizeof(DWORD));
  *at += sizeof(DWORD);
  *field = nullptr;
  if (bytes == kNone) return true;
  if (bytes < unit || bytes % unit != 0 || size - *at < bytes) return false;
  // Copied out: the value's bytes need not be aligned for wide characters.
  void* copy = GlobalAlloc(GPTR, bytes);
  if (!copy) {
    SetLastError(DWORD(E_OUTOFMEMORY));
    return false;
  }
  std::memcpy(copy, data + *at, bytes);
  *at += bytes;
  bool terminated = unit == 1 ? static_cast<char*>(copy)[bytes - 1] == 0
                              : static_cast<WCHAR*>(copy)[bytes / unit - 1] == 0;
  *field = copy;
  return terminated;
}

// The records of the value's bytes as a chain; false when memory ran out or the data is not
// such a list.
bool ParseRecords(const BYTE* data, size_t size, SavedPrinter** head, DWORD* error) {
  SavedPrinter** tail = head;
  size_t at = 0;
  while (at < size) {
    auto* node = static_cast<SavedPrinter*>(GlobalAlloc(GPTR, sizeof(SavedPrinter)));
    if (!node) {
      *error = DWORD(E_OUTOFMEMORY);
      return false;
    }
    *tail = node;
    tail = &node->next;
    const void* fields[5] = {};
    bool whole = size - at >= sizeof(DWORD);
    if (whole) std::memcpy(&node->attributes, data + at, sizeof(DWORD));
    at += sizeof(DWORD);
    for (int i = 0; whole && i < 5; ++i) {
      // Each text is in the node as soon as it is read, so a failure frees it with the node.
      whole = TakeField(data, size, &at, &fields[i], i == 1 ? 1 : sizeof(WCHAR));
      node->name = static_cast<WCHAR*>(const_cast<void*>(fields[0]));
      node->subKey = static_cast<char*>(const_cast<void*>(fields[1]));
      node->comment = static_cast<WCHAR*>(const_cast<void*>(fields[2]));
      node->location = static_cast<WCHAR*>(const_cast<void*>(fields[3]));
      node->shareName = static_cast<WCHAR*>(const_cast<void*>(fields[4]));
    }
    if (!whole || !node->name || !node->subKey || !node->subKey[0]) {
      *error = GetLastError() == DWORD(E_OUTOFMEMORY) ? DWORD(E_OUTOFMEMORY) : DWORD(ERROR_INVALID_DATA);
      return false;
    }
  }
  return true;
}

}  // namespace

DWORD ReadPrinterRecords(SavedPrinter** head) {
  *head = nullptr;
  HKEY key = nullptr;
  LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRecordsKey, 0, KEY_READ, &key);
  if (result == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (result != ERROR_SUCCESS) return DWORD(result);
  DWORD size = 0;
  BYTE* data = nullptr;
  result = RegQueryValueExW(key, kRecordsValue, nullptr, nullptr, nullptr, &size);
  if (result == ERROR_SUCCESS && size > 0) {
    data = static_cast<BYTE*>(GlobalAlloc(GPTR, size));
    result = data ? RegQueryValueExW(key, kRecordsValue, nullptr, nullptr, data, &size) : LONG(E_OUTOFMEMORY);
  }
  RegCloseKey(key);
  DWORD error = result == ERROR_FILE_NOT_FOUND ? DWORD(ERROR_SUCCESS) : DWORD(result);
  if (error == ERROR_SUCCESS && data) {
    SetLastError(0);
    if (!ParseRecords(data, size, head, &error)) FreeSavedPrinters(*head);
  }
  if (data) GlobalFree(data);
  return error;
}

DWORD WritePrinterRecords(const SavedPrinter* head) {
  size_t size = 0;
  for (const SavedPrinter* node = head; node; node = node->next)
    if (node->subKey) size += PutRecord(nullptr, node);
  if (size == 0) {
    LONG result = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kRecordsKey);
    return result == ERROR_FILE_NOT_FOUND ? DWORD(ERROR_SUCCESS) : DWORD(result);
  }
  auto* data = static_cast<BYTE*>(GlobalAlloc(GPTR, size));
  if (!data) return DWORD(E_OUTOFMEMORY);
  size_t at = 0;
  for (const SavedPrinter* node = head; node; node = node->next)
    if (node->subKey) at += PutRecord(data + at, node);
  HKEY key = nullptr;
  LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRecordsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) {
    result = RegSetValueExW(key, kRecordsValue, 0, REG_BINARY, data, DWORD(size));
    RegCloseKey(key);
  }
  GlobalFree(data);
  return DWORD(result);
}

void ReportRecordError(InstallContext* context, DWORD error) {
  SetLastError(error);
  ReportError(context, 19, TEXT("Can`t keep the records of the printers to recreate"));
}

}  // namespace inst
