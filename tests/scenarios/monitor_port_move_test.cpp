// The product monitor replaced under printers that use its port: the spooler refuses to remove
// it, the printers wait on "file:", and get their exact port strings back once it is installed
// again.
#include <gtest/gtest.h>

#include <map>

#include "core/install_log.h"
#include "spooler/monitor_install.h"
#include "spooler/monitor_removal.h"
#include "support/sim.h"
#include "winsim/version_files.h"

using namespace inst;
using test::AddFault;
using test::LogLines;
using winsim::M;

namespace {

const char kSystemDll[] = "C:\\Windows\\system32\\lmsmon64.dll";

class MonitorPortMoveTest : public test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    // An older build installed the way the tool installs it.
    ASSERT_TRUE(winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2400, "older monitor", {winsim::kMonitorEntry}));
    std::u16string name = test::U16("LumascribeServer:"), dll = test::U16("lmsmon64.dll");
    MONITOR_INFO_2W info = {name.data(), nullptr, dll.data()};
    ASSERT_TRUE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)));
    for (const auto& [printer, port] : kPrinters) AddPrinter(printer, port);
  }
  void TearDown() override {
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  static void AddPrinter(const std::string& name, const std::string& port) {
    winsim::Printer printer;
    printer.printerName = name;
    printer.portName = port;
    printer.driverName = "Lumascribe Server";
    M().spooler.printers.push_back(printer);
  }
  // Removal then installation, as a reinstall runs them on one context.
  void Replace() {
    CreateInstallContext(&context_, 3);
    context_.checkMonitorVersion = true;
    MonitorList monitors = EnumerateMonitors(&context_);
    DeleteMonitor(&context_, monitors);
    FreeMonitorList(&monitors);
    for (const auto& [printer, port] : kPrinters) afterRemoval_[printer] = winsim::FindPrinter(printer)->portName;
    monitorAfterRemoval_ = winsim::FindMonitor("LumascribeServer:") != nullptr;
    dllAfterRemoval_ = winsim::MachineFileExists(kSystemDll);
    if (context_.InstallMonitor) AddMonitor(&context_);
  }
  bool Logged(const std::string& line) {
    for (const std::string& l : LogLines(context_))
      if (l.find(line) != std::string::npos) return true;
    return false;
  }
  const std::vector<std::pair<std::string, std::string>> kPrinters = {
      {"Lumascribe", "LumascribeServer:"},
      {"Lumascribe Pool", "LPT1:,LumascribeServer:,COM1:"},
      {"Lumascribe Tail", "LumascribeServer:,FILE:"},
      {"Office", "LPT2:"},
  };
  InstallContext context_{};
  std::map<std::string, std::string> afterRemoval_;
  bool monitorAfterRemoval_ = true;
  bool dllAfterRemoval_ = true;
};

TEST_F(MonitorPortMoveTest, PrintersWaitOnTheFilePortAndGetTheirPortsBack) {
  Replace();
  EXPECT_EQ(afterRemoval_, (std::map<std::string, std::string>{{"Lumascribe", "file:"},
                                                               {"Lumascribe Pool", "LPT1:,file:,COM1:"},
                                                               {"Lumascribe Tail", "file:,FILE:"},
                                                               {"Office", "LPT2:"}}));
  EXPECT_FALSE(monitorAfterRemoval_) << "gone after the second removal";
  EXPECT_FALSE(dllAfterRemoval_) << "the spooler let go of the DLL with the monitor";
  EXPECT_EQ(winsim::CountCalls("DeleteMonitorW"), 2);
  EXPECT_EQ(winsim::CountCalls("ControlService"), 0);
  EXPECT_TRUE(Logged("Version (2400) is not supported, proceed with reinstall"));
  EXPECT_TRUE(Logged("Can't delete monitor from the first try"));

  for (const auto& [printer, port] : kPrinters) EXPECT_EQ(winsim::FindPrinter(printer)->portName, port) << printer;
  ASSERT_NE(winsim::FindMonitor("LumascribeServer:"), nullptr);
  std::string dll;
  ASSERT_TRUE(winsim::ReadMachineFile(kSystemDll, &dll));
  EXPECT_NE(dll.find("Lumascribe lmsmon64.dll"), std::string::npos) << "this build's DLL was copied";
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(context_.indent, 0);
}

TEST_F(MonitorPortMoveTest, ASecondRefusalIsOvercomeByASpoolerRestart) {
  AddFault("DeleteMonitorW", ERROR_ACCESS_DENIED, "", 2, 2);
  Replace();
  EXPECT_FALSE(monitorAfterRemoval_);
  EXPECT_EQ(winsim::CountCalls("DeleteMonitorW"), 3);
  EXPECT_TRUE(Logged(">Restart Spooler"));
  for (const auto& [printer, port] : kPrinters) EXPECT_EQ(winsim::FindPrinter(printer)->portName, port) << printer;
  EXPECT_EQ(context_.errorCount, 0);
}

TEST_F(MonitorPortMoveTest, ACompatibleMonitorStaysWithItsPrinters) {
  ASSERT_TRUE(winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2490, "", {winsim::kMonitorEntry}));
  Replace();
  EXPECT_TRUE(monitorAfterRemoval_);
  EXPECT_FALSE(context_.InstallMonitor);
  for (const auto& [printer, port] : kPrinters) EXPECT_EQ(afterRemoval_[printer], port) << printer;
  EXPECT_EQ(winsim::CountCalls("DeleteMonitorW"), 0);
}

}  // namespace
