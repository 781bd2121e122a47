// winspool: printer data, the values a printer keeps under its keys. The ANSI calls store
// strings wide and give them back in the code page, sized in ANSI bytes. The forms without a
// key work on "PrinterDriverData". Print-server data (a server handle) is not simulated.
#include <cstring>

#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

namespace {

const char kDriverDataKey[] = "PrinterDriverData";

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::string AnsiText(LPCSTR text) { return text ? Utf8(WideFromAnsi(text)) : std::string(); }

std::string AnsiFromUtf16Le(const std::string& bytes) {
  std::u16string wide;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    wide += char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
  return AnsiFromWide(wide);
}

RegKey* FindDataKey(Printer& printer, const std::string& key, bool create) {
  for (RegKey& k : printer.data)
    if (EqualNoCase(k.name, key)) return &k;
  if (!create) return nullptr;
  printer.data.push_back(RegKey{key, {}, {}});
  return &printer.data.back();
}

// The printer of an open handle that allows `rights`; `error` tells why there is none.
Printer* DataPrinter(HANDLE handle, DWORD rights, DWORD* error) {
  Printer* printer = PrinterOf(handle, error);
  if (printer && !(FindPrinterHandle(handle)->access & rights)) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  return printer;
}

std::string HandleName(HANDLE handle) {
  PrinterHandle* open = FindPrinterHandle(handle);
  return open ? open->printer : "?";
}

DWORD QueryData(const char* call, HANDLE handle, const std::string& key, const std::string& name, LPDWORD type,
                LPBYTE data, DWORD size, LPDWORD needed) {
  std::string where = HandleName(handle) + "\\" + key + "\\" + name;
  Trace(call, where + " " + std::to_string(size));
  if (DWORD error = FaultFor(call, where)) return error;
  DWORD error = 0;
  const DWORD reading = PRINTER_ACCESS_USE | PRINTER_ACCESS_ADMINISTER | PRINTER_ACCESS_MANAGE_LIMITED;
  Printer* printer = DataPrinter(handle, reading, &error);
  if (!printer) return error;
  if (!needed) return RPC_X_NULL_REF_POINTER;
  if (key.empty()) return ERROR_INVALID_PARAMETER;
  RegKey* k = FindDataKey(*printer, key, false);
  RegValue* value = k ? FindRegValue(*k, name) : nullptr;
  if (!value) return ERROR_FILE_NOT_FOUND;
  std::string bytes = IsStringType(value->type) ? AnsiFromUtf16Le(value->data) : value->data;
  if (type) *type = value->type;
  *needed = DWORD(bytes.size());
  if (size < bytes.size()) return ERROR_MORE_DATA;
  if (!data && !bytes.empty()) return RPC_X_NULL_REF_POINTER;
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

DWORD StoreData(const char* call, HANDLE handle, const std::string& key, const std::string& name, DWORD type,
                const BYTE* data, DWORD size) {
  std::string where = HandleName(handle) + "\\" + key + "\\" + name;
  Trace(call, where + " " + std::to_string(type) + " " + std::to_string(size));
  if (DWORD error = FaultFor(call, where)) return error;
  DWORD error = 0;
  Printer* printer = DataPrinter(handle, PRINTER_ACCESS_ADMINISTER, &error);
  if (!printer) return error;
  if (key.empty()) return ERROR_INVALID_PARAMETER;
  if (!data && size) return RPC_X_NULL_REF_POINTER;
  std::string bytes = data ? std::string(reinterpret_cast<const char*>(data), size) : std::string();
  if (IsStringType(type)) bytes = Utf16LeBytes(WideFromAnsi(bytes));
  NoteRemoteChange(*printer, call);
  RegKey* k = FindDataKey(*printer, key, true);
  if (RegValue* value = FindRegValue(*k, name)) {
    value->type = type;
    value->data = bytes;
  } else {
    k->values.push_back(RegValue{name, type, bytes});
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD GetPrinterDataA(HANDLE printer, LPSTR valueName, LPDWORD type, LPBYTE data, DWORD size, LPDWORD needed) {
  return QueryData("GetPrinterDataA", printer, kDriverDataKey, AnsiText(valueName), type, data, size, needed);
}

DWORD GetPrinterDataExA(HANDLE printer, LPCSTR keyName, LPCSTR valueName, LPDWORD type, LPBYTE data,
                        DWORD size, LPDWORD needed) {
  return QueryData("GetPrinterDataExA", printer, AnsiText(keyName), AnsiText(valueName), type, data, size, needed);
}

DWORD SetPrinterDataA(HANDLE printer, LPSTR valueName, DWORD type, LPBYTE data, DWORD size) {
  return StoreData("SetPrinterDataA", printer, kDriverDataKey, AnsiText(valueName), type, data, size);
}

DWORD SetPrinterDataExA(HANDLE printer, LPCSTR keyName, LPCSTR valueName, DWORD type, LPBYTE data, DWORD size) {
  return StoreData("SetPrinterDataExA", printer, AnsiText(keyName), AnsiText(valueName), type, data, size);
}
