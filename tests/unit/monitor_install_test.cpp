#include <gtest/gtest.h>

#include "core/install_log.h"
#include "spooler/monitor_install.h"
#include "spooler/port_redirection.h"
#include "support/sim.h"
#include "winsim/version_files.h"

using namespace inst;
using test::AddFault;
using test::Calls;
using test::LogLines;
using test::U8;
using winsim::M;

namespace {

const char kSystemDll[] = "C:\\Windows\\system32\\lmsmon64.dll";

class MonitorInstallTest : public test::SimTest {
 protected:
  void TearDown() override {
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  // A context whose log starts empty, on a machine with the given product printers.
  void Create(const std::vector<std::pair<std::string, std::string>>& printers = {}) {
    for (const auto& [name, port] : printers) {
      winsim::Printer printer;
      printer.printerName = name;
      printer.portName = port;
      printer.driverName = "Lumascribe Server";
      M().spooler.printers.push_back(printer);
    }
    CreateInstallContext(&context_, 3);
    FreeString(context_.logText);
    M().trace.clear();
  }
  // What the monitor removal leaves behind: the named snapshot records on "file:" in the
  // snapshot and on the machine, and listed as redirected.
  void Redirect(const std::vector<std::string>& names) {
    auto** list = static_cast<PRINTER_INFO_2W**>(GlobalAlloc(GPTR, (names.size() + 1) * sizeof(PRINTER_INFO_2W*)));
    size_t n = 0;
    for (const std::string& name : names)
      for (DWORD i = 0; i < context_.printers.count; ++i) {
        PRINTER_INFO_2W* record = &context_.printers.entries[i];
        if (U8(record->pPrinterName) != name) continue;
        RedirectPortToFile(record->pPortName);
        if (winsim::Printer* printer = winsim::FindPrinter(name)) printer->portName = U8(record->pPortName);
        list[n++] = record;
      }
    context_.redirectedPrinters = list;
  }
  static std::string PortOf(const std::string& printer) { return winsim::FindPrinter(printer)->portName; }
  InstallContext context_{};
};

TEST_F(MonitorInstallTest, CopiesRegistersAndNeedsNoSpoolerRestartWhenTheCopySucceeds) {
  Create();
  context_.indent = 2;
  AddMonitor(&context_);
  EXPECT_EQ(LogLines(context_), (std::vector<std::string>{
                                    "    >AddMonitor",
                                    "      Copy monitor file",
                                    "      >CopyFile lmsmon64.dll to C:\\Windows\\system32\\ [0])",
                                    "        Copy Succeeded :)",
                                    "      AddMonitor - OK :)",
                                }));
  EXPECT_EQ(context_.indent, 2);
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(winsim::CountCalls("ControlService"), 0);
  const winsim::PortMonitor* monitor = winsim::FindMonitor("LumascribeServer:");
  ASSERT_NE(monitor, nullptr);
  EXPECT_EQ(monitor->dllName, "lmsmon64.dll");
  EXPECT_EQ(Calls("AddMonitorW").at(0).detail, "2 LumascribeServer:");
  EXPECT_TRUE(winsim::MachineFileExists(kSystemDll));
}

TEST_F(MonitorInstallTest, WithCopyMonitorClearOnlyTheRegistrationHappens) {
  ASSERT_TRUE(winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2460, "", {winsim::kMonitorEntry}));
  Create();
  context_.CopyMonitor = false;
  AddMonitor(&context_);
  EXPECT_EQ(LogLines(context_),
            (std::vector<std::string>{">AddMonitor", "  Skip copy monitor file", "  AddMonitor - OK :)"}));
  EXPECT_EQ(winsim::CountCalls("CreateFileW"), 0);
  EXPECT_EQ(winsim::CountCalls("ControlService"), 0);
  EXPECT_NE(winsim::FindMonitor("LumascribeServer:"), nullptr);
}

TEST_F(MonitorInstallTest, ADllTheSpoolerHoldsIsCopiedAgainWhileTheSpoolerIsStopped) {
  ASSERT_TRUE(winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2400, "", {winsim::kMonitorEntry}));
  M().monitors.monitors.push_back({"Lumascribe Old", "Windows x64", "lmsmon64.dll", {}});
  Create();
  AddMonitor(&context_);
  std::vector<std::string> log = LogLines(context_);
  ASSERT_GE(log.size(), 8u);
  EXPECT_EQ(log[2], "  >CopyFile lmsmon64.dll to C:\\Windows\\system32\\ [0])");
  EXPECT_EQ(log[3], "    Copy Failed :(");
  EXPECT_EQ(log[4], "  >Restart Spooler");
  EXPECT_EQ(log[5], "  >CopyFile lmsmon64.dll to C:\\Windows\\system32\\ [1])");
  EXPECT_EQ(log[6], "    Copy Succeeded :)");
  EXPECT_EQ(log.back(), "  AddMonitor - OK :)");
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(test::Spooler().state, DWORD(SERVICE_RUNNING)) << "started again after the copy";
  std::string copied;
  ASSERT_TRUE(winsim::ReadMachineFile(kSystemDll, &copied));
  EXPECT_NE(copied.find("Lumascribe lmsmon64.dll"), std::string::npos);
}

TEST_F(MonitorInstallTest, FiveRefusedRegistrationsReportError11AndRestoreNoPort) {
  Create({{"Lumascribe", "LumascribeServer:"}});
  Redirect({"Lumascribe"});
  context_.CopyMonitor = false;
  AddFault("AddMonitorW", ERROR_ACCESS_DENIED);
  AddMonitor(&context_);
  const std::string failed = "  AddMonitor - failed. Trying to wait and install again";
  EXPECT_EQ(LogLines(context_),
            (std::vector<std::string>{
                ">AddMonitor", "  Skip copy monitor file", failed, failed, failed, failed, failed,
                "  Error(11): Can`t install a local port monitor'LumascribeServer:' - (Access is denied.)"}));
  EXPECT_EQ(context_.errorCount, 1);
  EXPECT_EQ(context_.indent, 0);
  EXPECT_EQ(winsim::CountCalls("AddMonitorW"), 5);
  std::vector<winsim::TraceEntry> sleeps = Calls("Sleep");
  ASSERT_EQ(sleeps.size(), 4u) << "no pause before the first attempt";
  for (const winsim::TraceEntry& sleep : sleeps) EXPECT_EQ(sleep.detail, "50");
  EXPECT_EQ(PortOf("Lumascribe"), "file:");
  EXPECT_EQ(U8(context_.redirectedPrinters[0]->pPortName), "file:");
}

TEST_F(MonitorInstallTest, AfterTwoRefusalsTheRegistrationAndThePortsFollow) {
  ASSERT_TRUE(winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2501, "", {winsim::kMonitorEntry}));
  Create({{"Lumascribe", "LumascribeServer:"},
          {"Pooled", "LPT1:,LumascribeServer:,COM1:"},
          {"Kept", "LPT2:"},
          {"Gone", "LumascribeServer:"}});
  Redirect({"Lumascribe", "Pooled", "Kept", "Gone"});
  M().spooler.printers.pop_back();  // deleted after the snapshot
  context_.CopyMonitor = false;
  AddFault("AddMonitorW", ERROR_ACCESS_DENIED, "", 1, 2);
  AddMonitor(&context_);
  const std::string failed = "  AddMonitor - failed. Trying to wait and install again";
  EXPECT_EQ(LogLines(context_), (std::vector<std::string>{
                                    ">AddMonitor",
                                    "  Skip copy monitor file",
                                    failed,
                                    failed,
                                    "  AddMonitor - OK :)",
                                    "  SetPrinter(Lumascribe) - ok",
                                    "  SetPrinter(Pooled) - ok",
                                    "  Can't open printer Gone",
                                }));
  EXPECT_EQ(PortOf("Lumascribe"), "LumascribeServer:");
  EXPECT_EQ(PortOf("Pooled"), "LPT1:,LumascribeServer:,COM1:");
  EXPECT_EQ(PortOf("Kept"), "LPT2:");
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(Calls("OpenPrinterW").size(), 3u);
}

TEST_F(MonitorInstallTest, AFailedPortChangeIsLoggedAndTheOthersGoOn) {
  ASSERT_TRUE(winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2501, "", {winsim::kMonitorEntry}));
  Create({{"First", "LumascribeServer:"}, {"Second", "LumascribeServer:"}});
  Redirect({"First", "Second"});
  context_.CopyMonitor = false;
  AddFault("SetPrinterW", ERROR_ACCESS_DENIED, "First");
  AddMonitor(&context_);
  std::vector<std::string> log = LogLines(context_);
  EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()),
            (std::vector<std::string>{"  SetPrinter(First) - failed", "  SetPrinter(Second) - ok"}));
  EXPECT_EQ(PortOf("First"), "file:");
  EXPECT_EQ(PortOf("Second"), "LumascribeServer:");
  EXPECT_EQ(context_.errorCount, 0) << "port changes are only logged";
}

TEST_F(MonitorInstallTest, NothingFollowsTheRegistrationWithoutRedirectedPrinters) {
  ASSERT_TRUE(winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2501, "", {winsim::kMonitorEntry}));
  Create({{"Lumascribe", "file:"}});
  context_.CopyMonitor = false;
  Redirect({});
  AddMonitor(&context_);
  EXPECT_EQ(LogLines(context_).back(), "  AddMonitor - OK :)");
  EXPECT_EQ(PortOf("Lumascribe"), "file:");
  EXPECT_EQ(winsim::CountCalls("OpenPrinterW"), 0);
}

TEST_F(MonitorInstallTest, APortIsGivenBackOncePerRun) {
  ASSERT_TRUE(winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2501, "", {winsim::kMonitorEntry}));
  Create({{"Lumascribe", "LumascribeServer:,file:"}});
  Redirect({"Lumascribe"});
  PRINTER_INFO_2W* record = context_.redirectedPrinters[0];
  context_.CopyMonitor = false;
  AddMonitor(&context_);
  EXPECT_EQ(PortOf("Lumascribe"), "LumascribeServer:,file:");
  M().monitors.monitors.pop_back();
  M().trace.clear();
  AddMonitor(&context_);
  EXPECT_EQ(U8(record->pPortName), "LumascribeServer:,file:")
      << "a second installation must not lengthen the port beyond its room";
  EXPECT_EQ(winsim::CountCalls("OpenPrinterW"), 0);
}

}  // namespace
