#include "printers/settings_key.h"

#include <cstring>

namespace inst {

namespace {

const char kProductUserKey[] = "Software\\Veldrin Software KFT\\Lumascribe";
const char kSubKeyValue[] = "SubKey";
const char kDsUserKey[] = "DsUser";
const char kDeletedValue[] = "deleted";

}  // namespace

void ReadPrinterSubKey(HANDLE printer, char* output) {
  DWORD type = 0, needed = 0;
  if (GetPrinterDataA(printer, const_cast<char*>(kSubKeyValue), &type, reinterpret_cast<LPBYTE>(output),
                      kSubKeyBytes, &needed) == ERROR_SUCCESS &&
      type == REG_SZ)
    return;
  type = 0;
  if (GetPrinterDataExA(printer, kDsUserKey, kSubKeyValue, &type, reinterpret_cast<LPBYTE>(output), kSubKeyBytes,
                        &needed) != ERROR_SUCCESS ||
      type != REG_SZ)
    output[0] = 0;
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
