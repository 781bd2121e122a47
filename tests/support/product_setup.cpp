#include "support/product_setup.h"

#include <gtest/gtest.h>

#include "winsim/machine.h"
#include "winsim/version_files.h"
#include "winsim/windows.h"

namespace test {

void InstallProductDriver(int build, const char16_t* environment) {
  const std::string dll = "C:\\stage\\lmsdrv64.dll";
  if (build < 0) {
    ASSERT_TRUE(winsim::WriteMachineFile(dll, "no version"));
  } else {
    ASSERT_TRUE(winsim::WriteVersionedFile(dll, 1, 0, 0, WORD(build)));
  }
  std::u16string driver = winsim::Wide(dll), ui = u"C:\\Program Files\\Lumascribe\\install\\lmsui64.dll",
                 env = environment, name = u"Lumascribe Server";
  DRIVER_INFO_3W info = {};
  info.cVersion = 3;
  info.pName = name.data();
  info.pEnvironment = env.data();
  info.pDriverPath = driver.data();
  info.pDataFile = driver.data();
  info.pConfigFile = ui.data();
  ASSERT_TRUE(AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES));
}

void AddProductPrinter(const std::string& name, const std::string& driver) {
  winsim::Printer printer;
  printer.printerName = name;
  printer.portName = "LumascribeServer:";
  printer.driverName = driver;
  winsim::M().spooler.printers.push_back(printer);
}

}  // namespace test
