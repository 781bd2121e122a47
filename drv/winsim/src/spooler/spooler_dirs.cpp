// winspool: the printer-driver directory of each environment.
#include <cstring>

#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

BOOL GetPrinterDriverDirectoryW(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer,
                                DWORD size, LPDWORD needed) {
  Trace("GetPrinterDriverDirectoryW", Utf8(environment));
  if (DWORD error = FaultFor("GetPrinterDriverDirectoryW", Utf8(environment))) return Fail(error, FALSE);
  if (DWORD error = SpoolerUnavailable()) return Fail(error, FALSE);
  if (server && *server) return Fail(DWORD(RPC_S_SERVER_UNAVAILABLE), FALSE);
  if (level != 1) return Fail(DWORD(ERROR_INVALID_LEVEL), FALSE);
  if (!needed) return Fail(DWORD(RPC_X_NULL_REF_POINTER), FALSE);
  std::string dir;
  if (!FindDriverEnvironment(environment, nullptr, &dir)) return Fail(DWORD(ERROR_INVALID_ENVIRONMENT), FALSE);
  std::u16string text = Wide(dir);
  *needed = DWORD((text.size() + 1) * sizeof(WCHAR));
  if (!buffer || size < *needed) return Fail(DWORD(ERROR_INSUFFICIENT_BUFFER), FALSE);
  std::memcpy(buffer, text.c_str(), *needed);
  return TRUE;
}
