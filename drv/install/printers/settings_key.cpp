#include "printers/settings_key.h"

#include <cstring>

namespace inst {

namespace {

const char kProductUserKey[] = "Software\\Veldrin Software KFT\\Lumascribe";
const char kSubKeyValue[] = "SubKey";
const char kDsUserKey[] = "DsUser";
const char kDeletedValue[] = "deleted";

// Whether a read's result is an answer about the value rather than a failure of the call.
bool Answered(DWORD result) {
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND || result == ERROR_MORE_DATA;
}

}  // namespace

DWORD ReadPrinterSubKey(HANDLE printer, char* output) {
  DWORD type = 0, needed = 0;
  DWORD first = GetPrinterDataA(printer, const_cast<char*>(kSubKeyValue), &type, reinterpret_cast<LPBYTE>(output),
                                kSubKeyBytes, &needed);
  if (first == ERROR_SUCCESS && type == REG_SZ) return ERROR_SUCCESS;
  type = 0;
  DWORD second = GetPrinterDataExA(printer, kDsUserKey, kSubKeyValue, &type, reinterpret_cast<LPBYTE>(output),
                                   kSubKeyBytes, &needed);
  if (second == ERROR_SUCCESS && type == REG_SZ) return ERROR_SUCCESS;
  output[0] = 0;
  if (!Answered(first)) return first;
  return Answered(second) ? DWORD(ERROR_SUCCESS) : second;
}

bool WritePrinterSubKey(HANDLE printer, const char* name) {
  auto* data = reinterpret_cast<LPBYTE>(const_cast<char*>(name));
  DWORD bytes = DWORD(std::strlen(name) + 1);
  // Readers fall back to the "DsUser" copy, so only that write has to succeed.
  SetPrinterDataA(printer, const_cast<char*>(kSubKeyValue), REG_SZ, data, bytes);
  return SetPrinterDataExA(printer, kDsUserKey, kSubKeyValue, REG_SZ, data, bytes) == ERROR_SUCCESS;
}

bool ClearDeletedMark(const char* relativePath) {
  const size_t rootChars = sizeof(kProductUserKey) - 1;
  const size_t pathChars = std::strlen(relativePath);
  char path[rootChars + 1 + MAX_PATH + 1] = {};
  if (pathChars > MAX_PATH) return false;  // no settings key has such a name
  std::memcpy(path, kProductUserKey, rootChars);
  path[rootChars] = '\\';
  std::memcpy(path + rootChars + 1, relativePath, pathChars + 1);
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  LONG deleted = RegDeleteValueA(key, kDeletedValue);
  RegCloseKey(key);
  return deleted == ERROR_SUCCESS;
}

}  // namespace inst
