#include "support/product_printers.h"

#include "winsim/version_files.h"
#include "winsim/windows.h"

namespace test {

void InstallProductSpoolerParts() {
  winsim::M().monitors.monitors.push_back({"LumascribeServer:", "Windows x64", "lmsmon64.dll", {"LumascribeServer:"}});
  for (const char* environment : {"Windows x64", "Windows NT x86"}) {
    winsim::PrinterDriver driver;
    driver.environment = environment;
    driver.name = "Lumascribe Server";
    winsim::M().drivers.installed.push_back(driver);
  }
}

bool InstallProductDriver(int build, const char16_t* environment) {
  const std::string dll = "C:\\stage\\lmsdrv64.dll";
  bool written = build < 0 ? winsim::WriteMachineFile(dll, "no version")
                           : winsim::WriteVersionedFile(dll, 1, 0, 0, WORD(build));
  if (!written) return false;
  std::u16string driver = winsim::Wide(dll), ui = u"C:\\Program Files\\Lumascribe\\install\\lmsui64.dll",
                 env = environment, name = u"Lumascribe Server";
  DRIVER_INFO_3W info = {};
  info.cVersion = 3;
  info.pName = name.data();
  info.pEnvironment = env.data();
  info.pDriverPath = driver.data();
  info.pDataFile = driver.data();
  info.pConfigFile = ui.data();
  return AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES) != FALSE;
}

winsim::Printer& AddProductPrinter(const std::string& name, const std::string& subKey, const std::string& driver) {
  winsim::Printer printer;
  printer.printerName = name;
  printer.portName = "LumascribeServer:";
  printer.driverName = driver;
  if (!subKey.empty()) SetPrinterString(printer, "PrinterDriverData", "SubKey", subKey);
  winsim::M().spooler.printers.push_back(printer);
  return winsim::M().spooler.printers.back();
}

void SetPrinterString(winsim::Printer& printer, const std::string& key, const std::string& value,
                      const std::string& text) {
  winsim::RegKey* found = nullptr;
  for (winsim::RegKey& k : printer.data)
    if (winsim::EqualNoCase(k.name, key)) found = &k;
  if (!found) {
    printer.data.push_back(winsim::RegKey{key, {}, {}});
    found = &printer.data.back();
  }
  found->values.push_back({value, REG_SZ, winsim::Utf16LeBytes(winsim::WideFromAnsi(text) + u'\0')});
}

std::string PrinterString(const std::string& printer, const std::string& key, const std::string& value) {
  winsim::Printer* found = winsim::FindPrinter(printer);
  if (!found) return "";
  for (winsim::RegKey& k : found->data)
    if (winsim::EqualNoCase(k.name, key))
      if (winsim::RegValue* v = winsim::FindRegValue(k, value)) {
        std::u16string wide;
        for (size_t i = 0; i + 1 < v->data.size(); i += 2)
          wide += char16_t(uint8_t(v->data[i]) | uint8_t(v->data[i + 1]) << 8);
        return winsim::AnsiFromWide(wide.substr(0, wide.find(u'\0')));
      }
  return "";
}

std::string SettingsKey(const std::string& subKey) {
  return "HKCU\\Software\\Veldrin Software KFT\\Lumascribe\\Lumascribes\\" + subKey;
}

}  // namespace test
