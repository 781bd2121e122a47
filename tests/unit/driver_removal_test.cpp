#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/install_log.h"
#include "spooler/driver_removal.h"
#include "support/sim.h"

using namespace inst;
using test::AddFault;
using test::LogLines;
using test::U16;
using winsim::M;

namespace {

const std::string kX64 = "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\";

class DriverRemovalTest : public test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    SelectEnvironment(&context_, true);
    FreeString(context_.logText);
    context_.indent = 1;
  }
  void TearDown() override {
    FreeDriverList(&list_);
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  // The product's driver as an earlier install left it, first or last of the drivers.
  static void InstallProductDriver(bool first) {
    winsim::PrinterDriver d;
    d.environment = "Windows x64";
    d.name = "Lumascribe Server";
    d.driverPath = d.dataFile = kX64 + "3\\lmsdrv64.dll";
    d.configFile = kX64 + "3\\lmsui64.dll";
    d.helpFile = kX64 + "3\\lmshelp.chm";
    for (const std::string* file : {&d.driverPath, &d.configFile, &d.helpFile}) winsim::WriteMachineFile(*file, "x");
    auto& installed = M().drivers.installed;
    installed.insert(first ? installed.begin() : installed.end(), d);
  }
  void Remove() {
    list_ = EnumerateDrivers(context_.environment);
    M().trace.clear();
    DeletePrinterDriver(&context_, list_);
  }
  InstallContext context_{};
  DriverList list_{};
};

TEST_F(DriverRemovalTest, AnEmptyListRemovesNothing) {
  DeletePrinterDriver(&context_, list_);
  EXPECT_EQ(LogLines(context_), (std::vector<std::string>{
                                    "  >DeletePrinterDriver for Windows x64",
                                    "    BTW, there is no printer drivers on this system.",
                                    "    No Lumascribe driver was found",
                                }));
  EXPECT_EQ(winsim::CountCalls("DeletePrinterDriverExW"), 0);
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(context_.indent, 1);
}

TEST_F(DriverRemovalTest, ListsTheDriversAndRemovesTheProductsWithItsFiles) {
  InstallProductDriver(true);
  Remove();
  EXPECT_EQ(LogLines(context_), (std::vector<std::string>{
                                    "  >DeletePrinterDriver for Windows x64",
                                    "    ------------ 4 existing drivers-----------",
                                    "    1. Lumascribe Server",
                                    "    2. Microsoft Print To PDF",
                                    "    3. Microsoft XPS Document Writer v4",
                                    "    4. Microsoft Shared Fax Driver",
                                    "    -------------------------------------------",
                                    "    Driver is found. Index=1",
                                    "    OK :)",
                                }));
  ASSERT_EQ(test::Calls("DeletePrinterDriverExW").size(), 1u);
  EXPECT_EQ(test::Calls("DeletePrinterDriverExW")[0].detail, "Windows x64 Lumascribe Server 4 0");
  EXPECT_EQ(M().drivers.installed.size(), 3u);
  EXPECT_FALSE(winsim::MachineFileExists(kX64 + "3\\lmshelp.chm"));
  EXPECT_EQ(context_.indent, 1);
}

TEST_F(DriverRemovalTest, ARecordWithoutANameIsListedAsEmpty) {
  InstallProductDriver(false);
  list_ = EnumerateDrivers(context_.environment);
  reinterpret_cast<DRIVER_INFO_6W*>(list_.records)[1].pName = nullptr;
  DeletePrinterDriver(&context_, list_);
  std::vector<std::string> lines = LogLines(context_);
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[3], "    2. ***EMPTY***");
  EXPECT_EQ(lines[7], "    Driver is found. Index=4");
}

TEST_F(DriverRemovalTest, ARefusedFirstRemovalRestartsTheSpoolerOnce) {
  InstallProductDriver(false);
  AddFault("DeletePrinterDriverExW", ERROR_PRINTER_DRIVER_IN_USE, "", 1, 1);
  Remove();
  std::vector<std::string> lines = LogLines(context_);
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[8], "    Can't delete driver. Trying to restart spooler");
  EXPECT_EQ(lines[9], "    >Restart Spooler");
  EXPECT_EQ(lines[10], "    OK :)");
  EXPECT_EQ(winsim::CountCalls("DeletePrinterDriverExW"), 2);
  EXPECT_EQ(winsim::CountCalls("ControlService"), 1);
  EXPECT_EQ(winsim::CountCalls("StartServiceW"), 1) << "the scope's end starts it again";
  EXPECT_EQ(test::Spooler().state, DWORD(SERVICE_RUNNING));
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(context_.indent, 1);
}

TEST_F(DriverRemovalTest, BothRemovalsRefusedReportErrorFourteen) {
  InstallProductDriver(false);
  winsim::Printer printer;
  printer.printerName = "lumServer";
  printer.driverName = "Lumascribe Server";
  M().spooler.printers.push_back(printer);
  Remove();
  std::vector<std::string> lines = LogLines(context_);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(),
            "    Error(14): Can`t remove the printer-driver 'Lumascribe Server' - "
            "(The specified printer driver is currently in use.)");
  EXPECT_EQ(winsim::CountCalls("DeletePrinterDriverExW"), 2);
  EXPECT_EQ(context_.errorCount, 1);
  EXPECT_EQ(context_.indent, 1);
}

}  // namespace
