// The uninstall and removetray commands run from the entry: on a fresh machine, after an
// install, and with a file that stays locked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/entry.h"
#include "support/sim.h"
#include "support/tool_runs.h"
#include "winsim/windows.h"

using namespace test;
using winsim::M;

namespace {

class UninstallCommandTest : public SimTest {
 protected:
  void TearDown() override {
    ExpectNoLeaks();
    SimTest::TearDown();
  }
  static void ExpectProductGone() {
    EXPECT_TRUE(ProductPrinters().empty());
    EXPECT_EQ(ProductDriver("Windows x64"), nullptr);
    EXPECT_EQ(ProductDriver("Windows NT x86"), nullptr);
    EXPECT_EQ(winsim::FindMonitor("LumascribeServer:"), nullptr);
    for (const std::string& file : {kDriversX64 + "3\\lmsdrv64.dll", kDriversX64 + "3\\lmsui64.dll",
                                    kDriversX86 + "3\\lmsdrv32.dll", kDriversX86 + "3\\lmsui32.dll",
                                    kDriversX86 + "3\\lmshelp.chm"})
      EXPECT_FALSE(winsim::MachineFileExists(file)) << file;
    EXPECT_EQ(TrayRunValue(), "");
    EXPECT_EQ(winsim::RunningCompanion(), nullptr);
    EXPECT_FALSE(winsim::MachineFileExists(kTrayExe));
    EXPECT_EQ(Spooler().state, DWORD(SERVICE_RUNNING));
    EXPECT_EQ(M().spooler.printers.size(), 3u) << "the machine's own printers stay";
  }
};

TEST_F(UninstallCommandTest, OnAFreshMachineEveryStepRunsAndFindsNothing) {
  M().ui.shiftDown = true;
  EXPECT_EQ(RunTool("uninstall"), inst::kExitUninstalled);
  std::vector<std::string> log = ShownLog();
  int step = 0;
  for (const char* marker : {"Lumascribe 2501", ">UnInstall", "  >UnInstall Server", "    EnumMonitors",
                             "    5 Monitors found", "    EnumPrinterDrivers for Windows x64",
                             "    EnumPrinterDrivers for Windows NT x86", "    >DeleteAllPrinters",
                             "    >DeletePrinterDriver for Windows x64", "      No Lumascribe driver was found",
                             "    >DeleteMonitor", "      There is no check for monitor version",
                             "      Can't delete monitor and monitor was not found. So everything should be ok",
                             "    >DeletePrinterDriver for Windows NT x86", "      No Lumascribe driver was found",
                             "    PrinterDriverDirectory(2):C:\\Windows\\system32\\spool\\DRIVERS\\x64\\"}) {
    int at = LineOf(log, marker, step);
    EXPECT_GE(at, step) << marker;
    if (at >= 0) step = at + 1;
  }
  EXPECT_EQ(step, int(log.size())) << "the switch back to x64 is the last line";
  EXPECT_FALSE(Shows(log, "drivers found"));
  EXPECT_FALSE(Shows(log, "DeleteFile-try"));
  EXPECT_FALSE(Shows(log, ">Restart Spooler"));
  EXPECT_FALSE(Shows(log, ">>00"));
  EXPECT_EQ(winsim::CountCalls("ControlService"), 0);
  EXPECT_EQ(M().ui.dialogs[0].title, "Lumascribe build 2501- Install log.");
  EXPECT_TRUE(winsim::MachineFileExists(kTrayExe)) << "no Run value named it";
}

TEST_F(UninstallCommandTest, AfterAnInstallTheProductIsGone) {
  ASSERT_EQ(RunTool("install"), inst::kExitInstalled);
  winsim::FindPrinter("lumServer")->cJobs = 2;  // queued jobs are purged, not waited for
  ASSERT_NE(winsim::RunningCompanion(), nullptr);
  for (const char* word : {"un", "UnInstall"}) {
    EXPECT_EQ(RunTool(word), inst::kExitUninstalled) << word;
    EXPECT_TRUE(M().ui.dialogs.empty());
    ExpectProductGone();
    EXPECT_FALSE(winsim::MachineFileExists(kSystem + "lmsmon64.dll"));
  }
  // The first uninstall removed the driver the spooler had loaded: the spooler's own deletions
  // wait for the restart, as the clean-up of pending deletions cannot delete them either.
  EXPECT_EQ(PendingRenames(), SpoolersPendingDriverDeletions());  ExpectRunEvent(3, "UnInstall", inst::kExitUninstalled, "none");
  EXPECT_FALSE(EventSourceRegistered()) << "removed after the uninstall's own event";
}

// Protected print mode removed the printers and the drivers: the uninstall removes the rest and
// reports nothing Windows removed first.
TEST_F(UninstallCommandTest, UnderProtectedPrintModeItRemovesWhatIsLeft) {
  ASSERT_EQ(RunTool("install"), inst::kExitInstalled);
  winsim::TurnOnProtectedPrint();
  ASSERT_TRUE(ProductPrinters().empty());
  EXPECT_EQ(RunTool("uninstall"), inst::kExitUninstalled);
  EXPECT_TRUE(M().ui.dialogs.empty()) << "no error";
  ExpectProductGone();
  EXPECT_FALSE(winsim::MachineFileExists(kSystem + "lmsmon64.dll"));
  ExpectRunEvent(2, "uninstall", inst::kExitUninstalled, "none");
}

TEST_F(UninstallCommandTest, AFileLockedThroughTheSpoolerRestartIsLeftForTheRestart) {
  ASSERT_EQ(RunTool("install"), inst::kExitInstalled);
  const std::string monitorDll = kSystem + "lmsmon64.dll";
  winsim::HoldFile(monitorDll, "virus scanner");

  M().ui.shiftDown = true;
  EXPECT_EQ(RunTool("uninstall"), inst::kExitRestartNeeded);
  std::vector<std::string> log = ShownLog();
  // Once in UnInstall, once more in the command, then with the spooler stopped.
  int first = LineOf(log, "    DeleteFile-try");
  ASSERT_GE(first, 0);
  EXPECT_EQ(log[first + 1], "DeleteFile-try");
  EXPECT_EQ(log[first + 2], ">Restart Spooler");
  EXPECT_EQ(log[first + 3], "DeleteFile-try");
  EXPECT_EQ(int(log.size()), first + 4);
  std::vector<std::string> pending = SpoolersPendingDriverDeletions();
  pending.insert(pending.end(), {"\\??\\" + monitorDll, ""});
  EXPECT_EQ(PendingRenames(), pending);
  ExpectProductGone();

  winsim::Reboot();
  EXPECT_FALSE(winsim::MachineFileExists(monitorDll));
  EXPECT_FALSE(winsim::MachineFileExists(kDriversX64 + "3\\Old\\1\\lmsdrv64.dll"));
  EXPECT_EQ(winsim::RunningCompanion(), nullptr) << "nothing starts the companion at logon";
}

TEST_F(UninstallCommandTest, AFileFreedByTheSecondTryNeedsNoSpoolerRestart) {
  ASSERT_EQ(RunTool("install"), inst::kExitInstalled);
  AddFault("DeleteFileW", ERROR_ACCESS_DENIED, "system32\\lmsmon64.dll", 1, 2);
  M().ui.shiftDown = true;
  EXPECT_EQ(RunTool("un"), inst::kExitUninstalled);
  EXPECT_FALSE(Shows(ShownLog(), ">Restart Spooler"));
  EXPECT_EQ(winsim::CountCalls("ControlService"), 0);
  EXPECT_FALSE(winsim::MachineFileExists(kSystem + "lmsmon64.dll"));
  EXPECT_EQ(PendingRenames(), SpoolersPendingDriverDeletions());
}

TEST_F(UninstallCommandTest, HelpWindowsCloseFirst) {
  winsim::AddWindow("HH Parent", "Lumascribe Help", 300);
  EXPECT_EQ(RunTool("uninstall"), inst::kExitUninstalled);
  EXPECT_EQ(FindWindowW(TEXT("HH Parent"), TEXT("Lumascribe Help")), nullptr);
  EXPECT_EQ(M().trace[1].call, "CommandLineToArgvW");
  // Only the setup lock and the log file come first.
  EXPECT_EQ(M().trace[2].call, "ConvertStringSecurityDescriptorToSecurityDescriptorW");
  size_t header = 0;
  while (header < M().trace.size() && M().trace[header].call != "WriteFile") ++header;
  EXPECT_EQ(M().trace.at(header + 1).call, "FindWindowW");
}

TEST_F(UninstallCommandTest, TheOwnerWindowCarriesOver) {
  uint64_t setup = winsim::AddWindow("SetupWindow", "Lumascribe Setup", -1);
  AddFault("EnumMonitorsW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(RunTool("uninstall " + std::to_string(setup)), inst::kExitUninstalled)
      << "a failed enumeration is only logged";
  M().ui.shiftDown = true;
  EXPECT_EQ(RunTool("Un " + std::to_string(setup)), inst::kExitUninstalled);
  ASSERT_EQ(M().ui.dialogs.size(), 1u);
  EXPECT_EQ(M().ui.dialogs[0].owner, setup);
}

TEST_F(UninstallCommandTest, RemoveTrayStopsTheCompanion) {
  ASSERT_EQ(RunTool("install"), inst::kExitInstalled);
  winsim::AddWindow("HH Parent", "Lumascribe Help", -1);
  EXPECT_EQ(RunTool("RemoveTray"), inst::kExitNoCommand);
  EXPECT_EQ(winsim::RunningCompanion(), nullptr);
  EXPECT_EQ(TrayRunValue(), "");
  EXPECT_FALSE(winsim::MachineFileExists(kTrayExe));
  EXPECT_TRUE(M().ui.dialogs.empty());
  EXPECT_NE(FindWindowW(TEXT("HH Parent"), TEXT("Lumascribe Help")), nullptr) << "help stays open";
  EXPECT_NE(winsim::FindMonitor("LumascribeServer:"), nullptr) << "only the companion goes";
  EXPECT_EQ(ProductPrinters(), std::vector<std::string>{"lumServer"});
}

// An install that follows an uninstall which left the monitor DLL for the restart. Released
// by then, the clean-up of pending deletions removes the DLL the removal half meant to keep, so
// it is copied after all; still held, the DLL is kept. Either way no deletion stays queued to
// take the new monitor's DLL at the restart.
TEST_F(UninstallCommandTest, AnInstallBeforeTheRestartKeepsItsMonitorDll) {
  for (bool stillHeld : {false, true}) {
    SCOPED_TRACE(stillHeld ? "held through the install" : "released before the install");
    ASSERT_EQ(RunTool("install"), inst::kExitInstalled);
    winsim::HoldFile(kSystem + "lmsmon64.dll", "virus scanner");
    ASSERT_EQ(RunTool("uninstall"), inst::kExitRestartNeeded);
    if (!stillHeld) winsim::ReleaseHolds("virus scanner");
    ASSERT_EQ(RunTool("install"), inst::kExitInstalled);
    ASSERT_TRUE(winsim::MachineFileExists(kSystem + "lmsmon64.dll"));
    winsim::Reboot();
    EXPECT_TRUE(winsim::MachineFileExists(kSystem + "lmsmon64.dll"));
  }
}

}  // namespace
