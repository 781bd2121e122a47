#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/install_log.h"
#include "spooler/monitor_removal.h"
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

class MonitorRemovalTest : public test::SimTest {
 protected:
  void TearDown() override {
    FreeMonitorList(&monitors_);
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  // The product monitor as the spooler has it, with its DLL of build `build` (-1: no version).
  static void Register(int build, const std::string& dll = "lmsmon64.dll") {
    std::string path = "C:\\Windows\\system32\\" + dll;
    if (build < 0)
      ASSERT_TRUE(winsim::WriteMachineFile(path, "no version here"));
    else
      ASSERT_TRUE(winsim::WriteVersionedFile(path, 1, 0, 0, WORD(build), "", {winsim::kMonitorEntry}));
    M().monitors.monitors.push_back({"LumascribeServer:", "Windows x64", dll, {"LumascribeServer:"}});
  }
  static void AddPrinterOn(const std::string& name, const std::string& ports) {
    winsim::Printer printer;
    printer.printerName = name;
    printer.portName = ports;
    printer.driverName = "Lumascribe Server";
    M().spooler.printers.push_back(printer);
  }
  // Creates the context, takes the monitor list and removes the monitor; the log starts with
  // the removal.
  void Remove(bool checkVersion) {
    CreateInstallContext(&context_, 3);
    context_.checkMonitorVersion = checkVersion;
    FreeString(context_.logText);
    monitors_ = EnumerateMonitors(&context_);
    M().trace.clear();
    DeleteMonitor(&context_, monitors_);
  }
  // The log after the monitor listing.
  std::vector<std::string> LogAfterListing() {
    std::vector<std::string> log = LogLines(context_);
    size_t footer = 0;
    while (footer < log.size() && log[footer] != "  ---------------------------------------") ++footer;
    return std::vector<std::string>(log.begin() + std::min(footer + 1, log.size()), log.end());
  }
  std::vector<std::string> Redirected() {
    std::vector<std::string> names;
    for (PRINTER_INFO_2W** entry = context_.redirectedPrinters; entry && *entry; ++entry)
      names.push_back(U8((*entry)->pPrinterName));
    return names;
  }
  static std::string PortOf(const std::string& printer) { return winsim::FindPrinter(printer)->portName; }
  InstallContext context_{};
  MonitorList monitors_{};
};

TEST_F(MonitorRemovalTest, TheBuildWindowRunsFrom2451To2501) {
  struct Case {
    int build;
    std::string line;
    bool removed;
  };
  for (const Case& c : {Case{2450, "  Version (2450) is not supported, proceed with reinstall", true},
                        Case{2451, "  Version (2451) is compatible, proceed without uninstall", false},
                        Case{2501, "  Version (2501) is compatible, proceed without uninstall", false},
                        Case{2502, "  Version (2502) is not supported, proceed with reinstall", true},
                        Case{-1, "  Version is unknown, proceed with reinstall", true}}) {
    SCOPED_TRACE(c.build);
    TearDown();
    SetUp();
    context_ = InstallContext{};
    monitors_ = MonitorList{};
    Register(c.build);
    Remove(true);
    std::vector<std::string> log = LogAfterListing();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[3], c.line);
    EXPECT_EQ(winsim::FindMonitor("LumascribeServer:") == nullptr, c.removed);
    EXPECT_EQ(winsim::MachineFileExists(kSystemDll), !c.removed);
    EXPECT_EQ(log.back(), c.removed ? "  Monitor was removed :)" : "  InstallMonitor == 0, CopyMonitor == 1");
    EXPECT_EQ(winsim::CountCalls("DeleteMonitorW"), c.removed ? 1 : 0);
    EXPECT_EQ(context_.InstallMonitor, c.removed);
    EXPECT_TRUE(context_.CopyMonitor);
    EXPECT_EQ(context_.errorCount, 0);
  }
}

TEST_F(MonitorRemovalTest, AnUnregisteredCompatibleDllStaysAndIsNotCopiedAgain) {
  ASSERT_TRUE(winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2480, "", {winsim::kMonitorEntry}));
  Remove(true);
  EXPECT_EQ(LogAfterListing(), (std::vector<std::string>{
                                   "  No Lumascribe port monitor was found.",
                                   "  Computing monitor filename",
                                   "  Auto calculated monitor file name: C:\\Windows\\system32\\lmsmon64.dll",
                                   "  Version (2480) is compatible, proceed without uninstall",
                                   "  InstallMonitor == 1, CopyMonitor == 0",
                               }));
  EXPECT_TRUE(context_.InstallMonitor);
  EXPECT_FALSE(context_.CopyMonitor);
  EXPECT_EQ(winsim::CountCalls("DeleteMonitorW"), 0);
  EXPECT_EQ(context_.indent, 0);
}

TEST_F(MonitorRemovalTest, WithoutTheCheckAnUnregisteredMonitorIsNoError) {
  ASSERT_TRUE(winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2480, "", {winsim::kMonitorEntry}));
  Remove(false);
  std::vector<std::string> log = LogLines(context_);
  EXPECT_EQ(log[0], ">DeleteMonitor");
  EXPECT_EQ(log[1], "  ------- 5 existing monitors ----------");
  EXPECT_EQ(log[2], "  1. Appmon");
  EXPECT_EQ(LogAfterListing(), (std::vector<std::string>{
                                   "  No Lumascribe port monitor was found.",
                                   "  Computing monitor filename",
                                   "  Auto calculated monitor file name: C:\\Windows\\system32\\lmsmon64.dll",
                                   "  There is no check for monitor version",
                                   "  Can't delete monitor and monitor was not found. So everything should be ok",
                               }));
  EXPECT_TRUE(context_.InstallMonitor);
  EXPECT_TRUE(context_.CopyMonitor);
  EXPECT_TRUE(winsim::MachineFileExists(kSystemDll));
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(context_.redirectedPrinters, nullptr);
}

TEST_F(MonitorRemovalTest, TheRegisteredDllNameIsUsedOnlyWhenItIsTheProductsFile) {
  Register(2400, "LMSMON64.dll");
  ASSERT_TRUE(winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2501, "", {winsim::kMonitorEntry}));
  Remove(false);
  EXPECT_EQ(LogAfterListing(), (std::vector<std::string>{
                                   "  Port monitor is found. Index=6",
                                   "  Trying to get monitor filename from MONITOR_INFO_2",
                                   "  Auto calculated monitor file name: C:\\Windows\\system32\\LMSMON64.dll",
                                   "  There is no check for monitor version",
                                   "  Monitor was removed :)",
                               }));
  EXPECT_FALSE(winsim::MachineFileExists(kSystemDll));
}

// The registered name is the machine's data: any other name than the product's monitor file
// leaves the file it names (a system file, the directory itself) and takes the product's.
TEST_F(MonitorRemovalTest, AnyOtherRegisteredNameLeavesItsFileAndTakesTheProductsOwn) {
  const char* kNames[] = {"tcpmon.dll", "usbmon.dll.", "...", "oldmon.dll", "lmsmon32.dll", "lmsmon64.dll ",
                          "", "..\\victim.txt", "sub/x.dll", "C:x.dll", ".", "..", "\\victim.txt"};
  ASSERT_TRUE(winsim::WriteMachineFile("C:\\Windows\\victim.txt", "keep"));
  for (const std::string name : {"tcpmon.dll", "usbmon.dll", "oldmon.dll", "lmsmon32.dll"})
    ASSERT_TRUE(winsim::WriteMachineFile("C:\\Windows\\system32\\" + name, "keep"));
  for (const std::string registered : kNames) {
    SCOPED_TRACE("'" + registered + "'");
    ASSERT_TRUE(winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2501, "", {winsim::kMonitorEntry}));
    M().monitors.monitors.push_back({"LumascribeServer:", "Windows x64", registered, {"LumascribeServer:"}});
    Remove(false);
    std::vector<std::string> log = LogAfterListing();
    for (const std::string& line : std::vector<std::string>{
             "  The registered DLL name '" + registered + "' is not the product's monitor file, leaving it and taking lmsmon64.dll",
             std::string("  Auto calculated monitor file name: ") + kSystemDll, "  Monitor was removed :)"})
      EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << testing::PrintToString(log);
    EXPECT_EQ(winsim::FindMonitor("LumascribeServer:"), nullptr);
    EXPECT_FALSE(winsim::MachineFileExists(kSystemDll));
    for (const std::string name : {"tcpmon.dll", "usbmon.dll", "oldmon.dll", "lmsmon32.dll"})
      EXPECT_TRUE(winsim::MachineFileExists("C:\\Windows\\system32\\" + name)) << name;
    EXPECT_TRUE(winsim::MachineFileExists("C:\\Windows\\victim.txt"));
    EXPECT_EQ(context_.pendingDeletes, nullptr) << "nothing else waits for a restart";
    FreeMonitorList(&monitors_);
    DestroyInstallContext(&context_);
  }
}

TEST_F(MonitorRemovalTest, AnEmptyListIsSaidSo) {
  CreateInstallContext(&context_, 3);
  FreeString(context_.logText);
  DeleteMonitor(&context_, MonitorList{nullptr, 2, 0});
  std::vector<std::string> log = LogLines(context_);
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[1], "  BTW, there is no port monitors on this system.");
  EXPECT_EQ(log[2], "  No Lumascribe port monitor was found.");
}

TEST_F(MonitorRemovalTest, ARefusedRemovalMovesThePrintersToTheFilePort) {
  Register(2400);
  AddPrinterOn("Lumascribe", "LumascribeServer:");
  AddPrinterOn("Pooled", "LPT1:,LumascribeServer:,COM1:");
  AddPrinterOn("Gone", "LumascribeServer:");
  CreateInstallContext(&context_, 3);
  M().spooler.printers.pop_back();  // deleted after the snapshot
  FreeString(context_.logText);
  monitors_ = EnumerateMonitors(&context_);
  M().trace.clear();
  AddFault("DeleteMonitorW", ERROR_PRINT_MONITOR_IN_USE, "", 1, 1);
  DeleteMonitor(&context_, monitors_);
  EXPECT_EQ(LogAfterListing(), (std::vector<std::string>{
                                   "  Port monitor is found. Index=6",
                                   "  Trying to get monitor filename from MONITOR_INFO_2",
                                   "  Auto calculated monitor file name: C:\\Windows\\system32\\lmsmon64.dll",
                                   "  There is no check for monitor version",
                                   "  Can't delete monitor from the first try",
                                   "  SetPrinter(Lumascribe) - ok",
                                   "  SetPrinter(Pooled) - ok",
                                   "  Can't open printer Gone",
                                   "  Monitor was removed :)",
                               }));
  EXPECT_EQ(PortOf("Lumascribe"), "file:");
  EXPECT_EQ(PortOf("Pooled"), "LPT1:,file:,COM1:");
  EXPECT_EQ(PortOf("Fax"), "SHRFAX:");
  EXPECT_EQ(Redirected(), (std::vector<std::string>{"Lumascribe", "Pooled", "Gone"}));
  EXPECT_EQ(winsim::CountCalls("DeleteMonitorW"), 2);
  EXPECT_EQ(winsim::CountCalls("ControlService"), 0) << "the second removal needs no restart";
  EXPECT_EQ(context_.errorCount, 0);
}

TEST_F(MonitorRemovalTest, ThreeRefusalsReportError12AndKeepTheDll) {
  Register(2400);
  AddPrinterOn("Lumascribe", "LumascribeServer:");
  AddFault("DeleteMonitorW", ERROR_PRINT_MONITOR_IN_USE);
  Remove(false);
  std::vector<std::string> log = LogAfterListing();
  EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
            (std::vector<std::string>{"  SetPrinter(Lumascribe) - ok", "  >Restart Spooler",
                                      "  Error(12): Can`t remove the port monitor 'LumascribeServer:' - (The "
                                      "specified print monitor is currently in use.)"}));
  EXPECT_EQ(context_.errorCount, 1);
  EXPECT_EQ(winsim::CountCalls("DeleteMonitorW"), 3);
  EXPECT_EQ(Calls("DeleteMonitorW").at(2).detail, "LumascribeServer: Windows x64");
  EXPECT_EQ(test::Spooler().state, DWORD(SERVICE_RUNNING));
  EXPECT_TRUE(winsim::MachineFileExists(kSystemDll));
  EXPECT_EQ(PortOf("Lumascribe"), "file:");
  EXPECT_EQ(Redirected(), (std::vector<std::string>{"Lumascribe"}));
  EXPECT_EQ(context_.indent, 0);
}

TEST_F(MonitorRemovalTest, WithoutPrintersTheRemovalGoesOnToTheRestart) {
  Register(2400);
  M().spooler.printers.clear();
  AddFault("DeleteMonitorW", ERROR_ACCESS_DENIED, "", 1, 2);
  Remove(false);
  EXPECT_EQ(context_.redirectedPrinters, nullptr);
  std::vector<std::string> log = LogAfterListing();
  EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
            (std::vector<std::string>{"  Can't delete monitor from the first try", "  >Restart Spooler",
                                      "  Monitor was removed :)"}));
  EXPECT_EQ(winsim::CountCalls("DeleteMonitorW"), 3);
  EXPECT_FALSE(winsim::MachineFileExists(kSystemDll));
}

TEST_F(MonitorRemovalTest, ADllThatCannotBeDeletedYetIsQueued) {
  Register(2400);
  AddFault("DeleteFileW", ERROR_ACCESS_DENIED, "lmsmon64");
  Remove(false);
  EXPECT_EQ(LogLines(context_).back(), "  Monitor was removed :)");
  ASSERT_NE(context_.pendingDeletes, nullptr);
  EXPECT_EQ(U8(context_.pendingDeletes->path), kSystemDll);
  EXPECT_EQ(context_.pendingDeletes->next, nullptr);
  EXPECT_EQ(context_.errorCount, 0);
}

TEST_F(MonitorRemovalTest, WithoutRoomToRememberThemNoPrinterIsMoved) {
  Register(2400);
  AddPrinterOn("Lumascribe", "LumascribeServer:");
  CreateInstallContext(&context_, 3);
  monitors_ = EnumerateMonitors(&context_);
  FreeString(context_.logText);
  AddFault("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  DeleteMonitor(&context_, monitors_);
  M().faults.clear();
  EXPECT_EQ(context_.redirectedPrinters, nullptr);
  EXPECT_EQ(PortOf("Lumascribe"), "LumascribeServer:") << "a port nobody could give back would be lost";
  EXPECT_EQ(context_.errorCount, 1) << "the spooler keeps refusing";
  EXPECT_NE(winsim::FindMonitor("LumascribeServer:"), nullptr);
}

}  // namespace
