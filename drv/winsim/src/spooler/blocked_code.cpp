// What the spooler will not load: x64 code on Arm64, and third-party drivers and port monitors
// under Windows protected print mode.
#include "winsim/machine.h"
#include "winsim/windows.h"

namespace winsim {

namespace {
const DWORD kFirstProtectedPrintBuild = 26100;  // Windows 11 24H2
}

bool ProtectedPrintOn() {
  if (M().os.buildNumber < kFirstProtectedPrintBuild) return false;
  DWORD type = 0;
  std::string data;
  bool policy = GetRegValue(kProtectedPrintPolicyKey, kProtectedPrintPolicyValue, &type, &data) && type == REG_DWORD &&
                data == RegDwordBytes(1);
  return M().os.protectedPrint || policy;
}

// The spooler on Arm64 is native code, and "Arm64 processes can only load Arm64 binaries"
// (learn.microsoft.com/windows/arm/arm64ec); a monitor must be "written for the architecture of
// the server" (AddMonitor page). That the loader's ERROR_BAD_EXE_FORMAT is what the calls return
// is inferred. Protected print mode "prevents the installation of third-party drivers" and
// blocks modules (windows-driver-docs, print/windows-protected-print-mode-for-enterprises-and-
// developers.md); what the calls return then is documented nowhere: access denied is inferred.
DWORD BlockedCode(const std::string& environment) {
  if (ProtectedPrintOn()) return ERROR_ACCESS_DENIED;
  if (M().os.nativeMachine == NativeMachine::Arm64 && EqualNoCase(environment, "Windows x64")) return 193;
  return 0;
}

// "Upon enabling Windows protected print mode, printers that use third-party drivers are
// uninstalled. The print driver is deleted from the print driver store" (windows-driver-docs,
// print/windows-protected-print-mode.md). Third-party: any driver Windows did not bring along.
// Port monitors stay registered, but blocked (inferred: no page says they are removed).
void TurnOnProtectedPrint() {
  if (M().os.buildNumber < kFirstProtectedPrintBuild) M().os.buildNumber = kFirstProtectedPrintBuild;
  M().os.protectedPrint = true;
  auto thirdParty = [](const std::string& driver) {
    for (const PrinterDriver& d : M().drivers.installed)
      if (EqualNoCase(d.name, driver)) return d.provider != "Microsoft";
    return false;
  };
  M().spooler.printers.RemoveIf([&](const Printer& printer) {
    if (printer.connection || !thirdParty(printer.driverName)) return false;
    if (EqualNoCase(M().spooler.defaultPrinter, printer.printerName)) M().spooler.defaultPrinter.clear();
    return true;
  });
  std::vector<std::pair<std::string, std::string>> drivers;
  for (const PrinterDriver& d : M().drivers.installed)
    if (d.provider != "Microsoft") drivers.push_back({d.environment, d.name});
  for (const auto& [environment, name] : drivers) {
    std::u16string env = Wide(environment), driver = Wide(name);
    DeletePrinterDriverExW(nullptr, env.data(), driver.data(), DPD_DELETE_ALL_FILES, 0);
  }
}

}  // namespace winsim
