#include "system/platform_check.h"

#include "core/install_context.h"
#include "core/install_log.h"
#include "core/system_calls.h"
#include "system/protected_print.h"

namespace inst {

namespace {

typedef BOOL(WINAPI* Wow64Call)(HANDLE, USHORT*, USHORT*);

constexpr USHORT kMachineArm64 = 0xAA64;  // IMAGE_FILE_MACHINE_ARM64

// An x64 program emulated on Arm64 is told x64 by GetNativeSystemInfo; IsWow64Process2 (Windows
// 10 1709 on) gives the true machine. Windows without it runs on no Arm64.
bool OnArm64(InstallContext* context) {
  auto call = As<Wow64Call>(SystemExport(TEXT("kernel32.dll"), "IsWow64Process2"));
  if (!call) return false;
  USHORT process = 0, native = 0;
  if (!call(GetCurrentProcess(), &process, &native)) {
    LogLine(context, TEXT("The processor could not be asked - (%s): taken as x64"), SystemText(GetLastError()).Shown());
    return false;
  }
  return native == kMachineArm64;
}

// The policy "Configure Windows protected print" (policy-csp-printers): 1 under the key below.
bool ProtectedPrintPolicy(InstallContext* context) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("Software\\Policies\\Microsoft\\Windows NT\\Printers\\WPP"), 0,
                              KEY_QUERY_VALUE, &key);
  DWORD value = 0, type = 0, size = sizeof(value);
  if (status == ERROR_SUCCESS) {
    status = RegQueryValueExW(key, TEXT("WindowsProtectedPrintGroupPolicyState"), nullptr, &type,
                              reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
  }
  if (status == ERROR_FILE_NOT_FOUND) return false;
  if (status != ERROR_SUCCESS) {
    LogLine(context, TEXT("The protected print policy could not be read - (%s): taken as off"),
            SystemText(DWORD(status)).Shown());
    return false;
  }
  return type == REG_DWORD && size == sizeof(value) && value == 1;
}

}  // namespace

bool CheckPlatform(InstallContext* context) {
  int32_t errors = context->errorCount;
  if (OnArm64(context)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    ReportError(context, 30,
                TEXT("This PC has an Arm processor: the product's driver and port monitor are x64 code, which its "
                     "print spooler cannot load"));
  }
  bool on = ProtectedPrintPolicy(context);
  if (!on && TrueWindowsVersion().dwBuildNumber >= kFirstProtectedPrintBuild) on = ProtectedPrintEnabled(context);
  if (on) {
    SetLastError(ERROR_NOT_SUPPORTED);
    ReportError(context, 31,
                TEXT("Windows protected print mode is on: it blocks the product's driver and port monitor. An "
                     "administrator turns it off in Settings, Printers & scanners, or with the policy \"Configure "
                     "Windows protected print\""));
  }
  return context->errorCount == errors;
}

}  // namespace inst
