// The install command run from the entry on machines as the product's setup finds them: a fresh
// Windows, the product already installed, an older build, missing or locked files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/entry.h"
#include "support/product_printers.h"
#include "support/sim.h"
#include "support/tool_runs.h"
#include "system/file_version.h"
#include "winsim/version_files.h"
#include "winsim/windows.h"

using namespace test;
using winsim::M;

namespace {

// What the log of a first install on the default machine says, line by line, up to the log
// window (the closing ">>0020" is written after it).
std::vector<std::string> FirstInstallLog() {
  const std::string x64 = "C:\\Windows\\system32\\spool\\DRIVERS\\x64";
  const std::string x86 = "C:\\Windows\\system32\\spool\\DRIVERS\\W32X86";
  auto dirs = [](const std::string& indent, const std::string& dir) {
    return std::vector<std::string>{indent + "PrinterDriverDirectory(1):" + dir,
                                    indent + "PrinterDriverDirectory(2):" + dir + "\\"};
  };
  auto copy = [](const std::string& file, const std::string& dir, int report) {
    return std::vector<std::string>{"      >CopyFile " + file + " to " + dir + " [" + std::to_string(report) + "])",
                                    "        Copy Succeeded :)"};
  };
  std::vector<std::string> log = {"Lumascribe 2501", ">Check Spooler"};
  auto add = [&log](const std::vector<std::string>& lines) { log.insert(log.end(), lines.begin(), lines.end()); };
  add(dirs("", x64));
  add({">>0010",
       ">ReInstall",
       "    >UnInstall",
       "      >UnInstall Server",
       "        EnumMonitors",
       "        5 Monitors found",
       "        EnumPrinterDrivers for Windows x64",
       "        EnumPrinterDrivers for Windows NT x86",
       "        >DeleteAllPrinters",
       "        >DeletePrinterDriver for Windows x64",
       "          ------------ 3 existing drivers-----------",
       "          1. Microsoft Print To PDF",
       "          2. Microsoft XPS Document Writer v4",
       "          3. Microsoft Shared Fax Driver",
       "          -------------------------------------------",
       "          No Lumascribe driver was found",
       "        >DeleteMonitor",
       "          ------- 5 existing monitors ----------",
       "          1. Appmon",
       "          2. Local Port",
       "          3. Standard TCP/IP Port",
       "          4. USB Monitor",
       "          5. WSD Port",
       "          ---------------------------------------",
       "          No Lumascribe port monitor was found.",
       "          Computing monitor filename",
       "          Auto calculated monitor file name: C:\\Windows\\system32\\lmsmon64.dll",
       "          Version is unknown, proceed with reinstall",
       "          Can't delete monitor and monitor was not found. So everything should be ok"});
  add(dirs("        ", x86));
  add({"        >DeletePrinterDriver for Windows NT x86",
       "          BTW, there is no printer drivers on this system.",
       "          No Lumascribe driver was found"});
  add(dirs("        ", x64));
  add({"    >AddMonitor", "      Copy monitor file"});
  add(copy("lmsmon64.dll", "C:\\Windows\\system32\\", 0));
  add({"      AddMonitor - OK :)", "    >Add Printer Driver"});
  for (const char* file : {"lmsdrv64.dll", "lmsui64.dll", "lmshelp.chm"}) add(copy(file, x64 + "\\", 1));
  add({"      OK :)"});
  add(dirs("    ", x86));
  add({"    >Add Printer Driver"});
  for (const char* file : {"lmsdrv32.dll", "lmsui32.dll", "lmshelp.chm"}) add(copy(file, x86 + "\\", 1));
  add({"      OK :)"});
  add(dirs("    ", x64));
  add({"    >AddPrinter(lumServer)", "      Let's check our port monitors", "      Port monitor is found",
       "      OK :)"});
  return log;
}

int BuildOf(const std::string& path) {
  std::u16string wide = U16(path);
  return inst::GetFileBuildNumber(wide.c_str());
}

std::string Bytes(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(winsim::ReadMachineFile(path, &bytes)) << path;
  return bytes;
}

class InstallCommandTest : public SimTest {
 protected:
  void TearDown() override {
    ExpectNoLeaks();
    SimTest::TearDown();
  }
  // The product's files beside the tool as a setup of build `build` brings them.
  static void ToolFilesOfBuild(WORD build) {
    for (const char* file : {"lmsmon64.dll", "lmsmon32.dll", "lmsdrv64.dll", "lmsdrv32.dll", "lmsui64.dll",
                             "lmsui32.dll"})
      ASSERT_TRUE(winsim::WriteVersionedFile(kToolDir + file, 1, 0, 0, build, std::string("build of ") + file,
                                             winsim::ProductExports(file)));
  }
  // Everything a successful install leaves: monitor, drivers for both environments from this
  // build's files, nothing staged, the Run value and a running companion. Nothing of the tool's
  // waits for the restart; the spooler's own deletions of a replaced loaded driver may.
  static void ExpectProductInstalled(const std::vector<std::string>& pending = {}) {
    winsim::PortMonitor* monitor = winsim::FindMonitor("LumascribeServer:");
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(monitor->name, "LumascribeServer:");
    EXPECT_EQ(monitor->dllName, "lmsmon64.dll");
    EXPECT_EQ(Bytes(kSystem + "lmsmon64.dll"), Bytes(kToolDir + "lmsmon64.dll"));
    const struct {
      const char* environment;
      std::string dir, bits;
    } environments[] = {{"Windows x64", kDriversX64, "64"}, {"Windows NT x86", kDriversX86, "32"}};
    for (const auto& e : environments) {
      const winsim::PrinterDriver* driver = ProductDriver(e.environment);
      ASSERT_NE(driver, nullptr) << e.environment;
      EXPECT_EQ(driver->version, 3u);
      EXPECT_EQ(driver->driverPath, e.dir + "3\\lmsdrv" + e.bits + ".dll");
      EXPECT_EQ(driver->dataFile, driver->driverPath);
      EXPECT_EQ(driver->configFile, e.dir + "3\\lmsui" + e.bits + ".dll");
      EXPECT_EQ(driver->helpFile, e.dir + "3\\lmshelp.chm");
      EXPECT_EQ(driver->mfgName, "Veldrin Software Kft.");
      for (const std::string& file : {driver->driverPath, driver->configFile, driver->helpFile})
        EXPECT_TRUE(winsim::MachineFileExists(file)) << file;
      EXPECT_EQ(Bytes(driver->driverPath), Bytes(kToolDir + "lmsdrv" + e.bits + ".dll"));
      for (const std::string& file : {"lmsdrv" + e.bits + ".dll", "lmsui" + e.bits + ".dll", std::string("lmshelp.chm")})
        EXPECT_FALSE(winsim::MachineFileExists(e.dir + file)) << "staged copy left: " << e.dir + file;
    }
    EXPECT_EQ(TrayRunValue(), "\"" + std::string(kTrayExe) + "\"");
    winsim::Process* companion = winsim::RunningCompanion();
    ASSERT_NE(companion, nullptr);
    EXPECT_EQ(companion->image, kTrayExe);
    EXPECT_TRUE(winsim::MachineFileExists(kTrayExe));
    EXPECT_EQ(Spooler().state, DWORD(SERVICE_RUNNING));
    EXPECT_EQ(PendingRenames(), pending);
  }
  static void ExpectOneSharedServerPrinter() {
    EXPECT_EQ(ProductPrinters(), std::vector<std::string>{"lumServer"});
    winsim::Printer* printer = winsim::FindPrinter("lumServer");
    ASSERT_NE(printer, nullptr);
    EXPECT_EQ(printer->portName, "LumascribeServer:");
    EXPECT_EQ(printer->printProcessor, "WinPrint");
    EXPECT_NE(printer->attributes & PRINTER_ATTRIBUTE_SHARED, 0u);
    EXPECT_EQ(printer->shareName, "lumServer");
    EXPECT_EQ(M().spooler.defaultPrinter, "Microsoft Print to PDF") << "the fallback printer is no default";
  }
};

TEST_F(InstallCommandTest, FirstInstallOnAFreshMachine) {
  M().ui.shiftDown = true;
  EXPECT_EQ(RunTool("install"), inst::kExitInstalled);
  std::vector<std::string> expected = FirstInstallLog(), shown = ShownLog();
  for (size_t i = 0; i < std::max(expected.size(), shown.size()); ++i)
    EXPECT_EQ(i < shown.size() ? shown[i] : "<none>", i < expected.size() ? expected[i] : "<none>") << "line " << i + 1;
  EXPECT_EQ(M().ui.dialogs[0].title, "Lumascribe build 2501- Install log.");
  EXPECT_EQ(M().ui.dialogs[0].owner, 0u);
  EXPECT_EQ(winsim::CountCalls("ControlService"), 0) << "nothing was left to delete";
  ExpectProductInstalled();
  ExpectOneSharedServerPrinter();
  EXPECT_EQ(M().spooler.printers.size(), 4u) << "the machine's own printers stay";  ExpectRunEvent(1, "install", inst::kExitInstalled, "none");
  EXPECT_TRUE(EventSourceRegistered());
}

TEST_F(InstallCommandTest, WithoutShiftAndErrorsNoWindowOpens) {
  EXPECT_EQ(RunTool("install"), inst::kExitInstalled);
  EXPECT_TRUE(M().ui.dialogs.empty());
  ExpectProductInstalled();
}

// Every install word, in any letter case, is the same install.
class InstallWordTest : public InstallCommandTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(InstallWordTest, RunsTheWholeInstall) {
  M().ui.shiftDown = true;
  EXPECT_EQ(RunTool(GetParam()), inst::kExitInstalled);
  EXPECT_EQ(ShownLog(), FirstInstallLog());
  ExpectProductInstalled();
  ExpectOneSharedServerPrinter();
}

INSTANTIATE_TEST_SUITE_P(Words, InstallWordTest,
                         ::testing::Values("in", "IN", "Install", "INSTALL", "serverinstall", "ServerInstall",
                                           "in_notray", "IN_NOTRAY", "In_NoTray"));

// Printers the removal could not list get "lumServer" beside them only when a second listing
// finds no product printer; a second listing that fails too counts as one there.
TEST_F(InstallCommandTest, TheFallbackPrinterWaitsForASecondListing) {
  using Printers = std::vector<std::string>;  // (a product printer, EnumPrintersW failing from the first, after)
  for (auto [printer, failing, after] :
       {std::tuple{"", 1u, Printers{"lumServer"}}, {"Lumascribe Desk", UINT32_MAX, Printers{"Lumascribe Desk"}}}) {
    winsim::ResetMachine(root_);
    if (*printer) test::InstallProductSpoolerParts(), test::AddProductPrinter(printer, "desk");
    AddFault("EnumPrintersW", RPC_S_SERVER_UNAVAILABLE, "", 1, failing);
    RunTool("install");
    EXPECT_EQ(ProductPrinters(), after) << printer;
  }
}

TEST_F(InstallCommandTest, ReinstallBringsTheUsersPrintersBack) {
  ASSERT_EQ(RunTool("install"), inst::kExitInstalled);
  uint32_t firstCompanion = winsim::RunningCompanion()->pid;
  // The user's own printers of the product, set up after the first install.
  struct Setup {
    std::string name, subKey, comment, location, shareName;
  } const printers[] = {{"Lumascribe Invoices", "invoices", "Invoices to PDF", "Accounts", ""},
                        {"Lumascribe Scans", "scans", "Scanned mail", "Post room", "Scans"}};
  for (const Setup& s : printers) {
    winsim::Printer& p = AddProductPrinter(s.name, s.subKey);
    p.comment = s.comment;
    p.location = s.location;
    if (!s.shareName.empty()) {
      p.shareName = s.shareName;
      p.attributes |= PRINTER_ATTRIBUTE_SHARED;
    }
    winsim::SetRegValue(SettingsKey(s.subKey), "Resolution", REG_DWORD, winsim::RegDwordBytes(600));
    winsim::SetRegValue(SettingsKey(s.subKey), "deleted", REG_DWORD, winsim::RegDwordBytes(1));
  }
  M().spooler.defaultPrinter = printers[0].name;

  M().ui.shiftDown = true;
  EXPECT_EQ(RunTool("install"), inst::kExitInstalled);
  std::vector<std::string> log = ShownLog();
  EXPECT_TRUE(Shows(log, "Version (2501) is compatible, proceed without uninstall"));
  EXPECT_TRUE(Shows(log, "InstallMonitor == 0, CopyMonitor == 1"));
  EXPECT_FALSE(Shows(log, ">AddMonitor"));
  EXPECT_FALSE(Shows(log, ">Restart Spooler"));
  EXPECT_EQ(winsim::CountCalls("DeleteMonitorW"), 0);
  EXPECT_EQ(winsim::CountCalls("AddMonitorW"), 0);
  EXPECT_TRUE(Shows(log, "    >DeletePrinter(Lumascribe Invoices)"));
  EXPECT_TRUE(Shows(log, "    >AddPrinter(Lumascribe Scans)"));

  ExpectProductInstalled(SpoolersPendingDriverDeletions());
  EXPECT_NE(winsim::RunningCompanion()->pid, firstCompanion) << "the companion was stopped and started again";
  for (const Setup& s : printers) {
    winsim::Printer* p = winsim::FindPrinter(s.name);
    ASSERT_NE(p, nullptr) << s.name;
    EXPECT_EQ(p->portName, "LumascribeServer:");
    EXPECT_EQ(p->comment, s.comment);
    EXPECT_EQ(p->location, s.location);
    EXPECT_NE(p->attributes & PRINTER_ATTRIBUTE_SHARED, 0u) << "shared in server mode";
    EXPECT_EQ(p->shareName, s.shareName.empty() ? s.name : s.shareName);
    EXPECT_EQ(PrinterString(s.name, "PrinterDriverData", "SubKey"), s.subKey);
    EXPECT_EQ(PrinterString(s.name, "DsUser", "SubKey"), s.subKey);
    EXPECT_TRUE(winsim::GetRegValue(SettingsKey(s.subKey), "Resolution", nullptr, nullptr));
    EXPECT_FALSE(winsim::GetRegValue(SettingsKey(s.subKey), "deleted", nullptr, nullptr));
  }
  EXPECT_EQ(M().spooler.defaultPrinter, printers[0].name);
  // "lumServer" has no settings key: it is not captured, and with other printers restored no
  // fallback printer is made.
  EXPECT_EQ(winsim::FindPrinter("lumServer"), nullptr);
}

TEST_F(InstallCommandTest, UpgradeFromAnOlderBuildReplacesTheMonitor) {
  ToolFilesOfBuild(2450);
  ASSERT_EQ(RunTool("install"), inst::kExitInstalled);
  ASSERT_EQ(BuildOf(kSystem + "lmsmon64.dll"), 2450);
  ToolFilesOfBuild(2501);

  M().ui.shiftDown = true;
  EXPECT_EQ(RunTool("install"), inst::kExitInstalled);
  std::vector<std::string> log = ShownLog();
  EXPECT_TRUE(Shows(log, "Version (2450) is not supported, proceed with reinstall"));
  int removed = LineOf(log, "Monitor was removed :)");
  EXPECT_GE(removed, 0);
  EXPECT_GT(LineOf(log, ">AddMonitor", removed), removed);
  EXPECT_EQ(BuildOf(kSystem + "lmsmon64.dll"), 2501);
  EXPECT_EQ(BuildOf(ProductDriver("Windows x64")->driverPath), 2501);
  EXPECT_EQ(BuildOf(ProductDriver("Windows NT x86")->driverPath), 2501);
  ExpectProductInstalled(SpoolersPendingDriverDeletions());
  ExpectOneSharedServerPrinter();
}

TEST_F(InstallCommandTest, AnUpgradeMovesAForeignPrinterOffTheMonitorsPortAndBack) {
  ToolFilesOfBuild(2450);
  ASSERT_EQ(RunTool("install"), inst::kExitInstalled);
  ToolFilesOfBuild(2501);
  // A printer of another driver that prints through the product's port.
  winsim::Printer copy = *winsim::FindPrinter("Microsoft Print to PDF");
  copy.printerName = "Archive Copy";
  copy.portName = "LPT1:,LumascribeServer:";
  M().spooler.printers.push_back(copy);

  M().ui.shiftDown = true;
  EXPECT_EQ(RunTool("install"), inst::kExitInstalled);
  std::vector<std::string> log = ShownLog();
  EXPECT_TRUE(Shows(log, "Can't delete monitor from the first try"));
  EXPECT_TRUE(Shows(log, "SetPrinter(Archive Copy) - ok"));
  // The deleted product printer's record still names the port: it is passed through too.
  int added = LineOf(log, "AddMonitor - OK :)");
  ASSERT_GE(added, 0);
  EXPECT_EQ(log[added + 1], "      Can't open printer lumServer");
  EXPECT_EQ(log[added + 2], "      SetPrinter(Archive Copy) - ok");
  EXPECT_EQ(winsim::FindPrinter("Archive Copy")->portName, "LPT1:,LumascribeServer:");
  EXPECT_EQ(BuildOf(kSystem + "lmsmon64.dll"), 2501);
  ExpectProductInstalled(SpoolersPendingDriverDeletions());
}

TEST_F(InstallCommandTest, AnOldFileThatResistsTheSpoolerStopIsDropped) {
  ToolFilesOfBuild(2450);
  ASSERT_EQ(RunTool("install"), inst::kExitInstalled);
  ToolFilesOfBuild(2501);
  // Something keeps the old monitor DLL from being deleted, but not from being overwritten.
  AddFault("DeleteFileW", ERROR_ACCESS_DENIED, "system32\\lmsmon64.dll");

  M().ui.shiftDown = true;
  EXPECT_EQ(RunTool("install"), inst::kExitInstalled) << "dropped, not scheduled";
  std::vector<std::string> log = ShownLog();
  int restart = LineOf(log, "    >Restart Spooler");
  ASSERT_GE(restart, 0);
  EXPECT_EQ(log[restart + 1], "    DeleteFile-try");
  EXPECT_LT(restart, LineOf(log, ">AddMonitor"));
  EXPECT_EQ(LineOf(log, ">Restart Spooler", restart + 1), -1) << "no second stop: nothing was left";
  EXPECT_EQ(Calls("DeleteFileW").size(), 3u + 6u + 2u)
      << "three tries of the DLL, six staged copies, and the spooler's pending deletions of the old driver, freed "
         "by the restart";
  EXPECT_TRUE(Calls("MoveFileExW").empty());
  EXPECT_EQ(BuildOf(kSystem + "lmsmon64.dll"), 2501);
  ExpectProductInstalled();
}

TEST_F(InstallCommandTest, AStagedCopyThatStaysLockedIsLeftForTheRestart) {
  const std::string staged = kDriversX64 + "lmsui64.dll";
  AddFault("DeleteFileW", ERROR_SHARING_VIOLATION, "x64\\lmsui64.dll");

  M().ui.shiftDown = true;
  EXPECT_EQ(RunTool("install"), inst::kExitRestartNeeded);
  std::vector<std::string> log = ShownLog();
  int retry = LineOf(log, "    DeleteFile-try");
  ASSERT_GT(retry, LineOf(log, ">AddPrinter(lumServer)"));
  EXPECT_EQ(log[retry + 1], "    >Restart Spooler");
  EXPECT_EQ(log[retry + 2], "    DeleteFile-try");
  EXPECT_EQ(int(log.size()), retry + 3);
  EXPECT_EQ(M().ui.dialogs[0].title, "Lumascribe build 2501- Install log.");
  EXPECT_EQ(PendingRenames(), (std::vector<std::string>{"\\??\\" + staged, ""}));
  EXPECT_TRUE(winsim::MachineFileExists(staged));

  winsim::Reboot();
  EXPECT_FALSE(winsim::MachineFileExists(staged));
  EXPECT_TRUE(PendingRenames().empty());
  EXPECT_TRUE(winsim::MachineFileExists(ProductDriver("Windows x64")->configFile));
}

TEST_F(InstallCommandTest, AMissingDriverFileStopsTheInstallBeforeItChangesAnything) {
  ASSERT_TRUE(std::filesystem::remove(winsim::ResolvePath(kToolDir + "lmsui32.dll").path));
  EXPECT_EQ(RunTool("install"), inst::kExitErrors);
  ASSERT_EQ(M().ui.dialogs.size(), 1u) << "errors show the log without Shift";
  EXPECT_EQ(M().ui.dialogs[0].title, "Lumascribe build 2501- Install error log!");
  EXPECT_TRUE(Shows(ShownLog(), "Error(22): Can`t read the product file lmsui32.dll - (The system cannot find the "
                                "file specified.)"));
  EXPECT_EQ(winsim::CountCalls("AddPrinterDriverExW") + winsim::CountCalls("AddMonitorW") + winsim::CountCalls("AddPrinterW"), 0);
  EXPECT_EQ(ProductDriver("Windows x64"), nullptr);
  EXPECT_EQ(winsim::RunningCompanion(), nullptr);  ExpectRunEvent(1, "install", inst::kExitErrors,
                 "Error(22): Can`t read the product file lmsui32.dll - (The system cannot find the file specified.)");
  EXPECT_FALSE(EventSourceRegistered()) << "a refused run registers nothing";
}

// A Windows whose spooler cannot load the product refuses the install before it changes anything.
struct PlatformCase {
  const char* name;
  void (*prepare)();
  const char* error;
};

class InstallPlatformTest : public InstallCommandTest, public ::testing::WithParamInterface<PlatformCase> {};

TEST_P(InstallPlatformTest, RefusesBeforeAnythingChanges) {
  GetParam().prepare();
  EXPECT_EQ(RunTool("install"), inst::kExitErrors);
  std::vector<std::string> log = ShownLog();
  int error = LineOf(log, "Error(");
  ASSERT_GE(error, 0);
  EXPECT_EQ(log[error].substr(0, std::string(GetParam().error).size()), GetParam().error);
  EXPECT_EQ(log[error + 1], "Nothing was changed: this Windows cannot run the product's driver and port monitor");
  EXPECT_EQ(LineOf(log, "Error(", error + 1), -1);
  for (const char* call : {"AddMonitorW", "DeleteMonitorW", "AddPrinterDriverExW", "DeletePrinter", "CreateProcessW",
                           "RegSetValueExW", "RegCreateKeyExW", "MoveFileExW", "DeleteFileW"})
    EXPECT_EQ(winsim::CountCalls(call), 0) << call;
  EXPECT_FALSE(EventSourceRegistered());
  ExpectRunEvent(1, "install", inst::kExitErrors, log[error]);
  EXPECT_EQ(winsim::RunningCompanion(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, InstallPlatformTest,
    ::testing::Values(
        PlatformCase{"Arm64", [] { M().os.nativeMachine = winsim::NativeMachine::Arm64; }, "Error(30): This PC has an Arm processor"},
        PlatformCase{"ProtectedPrintPolicy",
                     [] {
                       winsim::SetRegValue(winsim::kProtectedPrintPolicyKey, winsim::kProtectedPrintPolicyValue, REG_DWORD,
                                           winsim::RegDwordBytes(1));
                     },
                     "Error(31): Windows protected print mode is on"},
        PlatformCase{"ProtectedPrintInSettings", [] { winsim::TurnOnProtectedPrint(); },
                     "Error(31): Windows protected print mode is on"}),
    [](const ::testing::TestParamInfo<PlatformCase>& info) { return std::string(info.param.name); });

// Before build 26100 the WinRT class is not asked; from it on, one that cannot be activated
// counts as off, and says so.
TEST_F(InstallCommandTest, ProtectedPrintModeThatCannotBeAskedCountsAsOff) {
  M().os.buildNumber = 26100;
  AddFault("RoGetActivationFactory", 0x80040154);
  M().ui.shiftDown = true;
  EXPECT_EQ(RunTool("install"), inst::kExitInstalled);
  EXPECT_TRUE(Shows(ShownLog(), "Protected print mode could not be asked: RoGetActivationFactory failed - (Class not "
                                "registered): taken as off"));
  ExpectProductInstalled();
  EXPECT_TRUE(EventSourceRegistered());
}

TEST_F(InstallCommandTest, AnErrorOutweighsAFileLeftForTheRestart) {
  AddFault("DeleteFileW", ERROR_SHARING_VIOLATION, "x64\\lmshelp.chm");
  AddFault("AddPrinterW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(RunTool("install"), inst::kExitErrors);
  EXPECT_EQ(PendingRenames().size(), 2u) << "the file was scheduled all the same";
  EXPECT_TRUE(Shows(ShownLog(), "Error(15): Can`t add printer 'lumServer' - (Access is denied.)"));
}

TEST_F(InstallCommandTest, TheLogWindowHasTheOwnerGivenOnlyWhenItIsAWindow) {
  uint64_t setup = winsim::AddWindow("SetupWindow", "Lumascribe Setup", -1);
  M().ui.shiftDown = true;
  EXPECT_EQ(RunTool("install " + std::to_string(setup)), inst::kExitInstalled);
  ASSERT_EQ(M().ui.dialogs.size(), 1u);
  EXPECT_EQ(M().ui.dialogs[0].owner, setup);

  uint64_t closed = winsim::AddWindow("SetupWindow", "Closed meanwhile", 0);
  ASSERT_TRUE(PostMessageW(reinterpret_cast<HWND>(closed), WM_SYSCOMMAND, SC_CLOSE, 0));
  ASSERT_FALSE(IsWindow(reinterpret_cast<HWND>(closed)));
  for (const std::string& arguments : {"install " + std::to_string(closed), std::string("install 12345"),
                                       "install " + std::to_string(setup) + " more"}) {
    EXPECT_EQ(RunTool(arguments), inst::kExitInstalled) << arguments;
    ASSERT_EQ(M().ui.dialogs.size(), 1u) << arguments;
    EXPECT_EQ(M().ui.dialogs[0].owner, 0u) << arguments;
  }
  EXPECT_EQ(Calls("IsWindow").size(), 0u) << "with a fourth argument the number is not read";
}

TEST_F(InstallCommandTest, HelpWindowsCloseBeforeAnythingIsTouched) {
  winsim::AddWindow("HH Parent", "Lumascribe Help", 120);
  winsim::AddWindow("HH Parent", "Lumascribe Help", 0);
  winsim::AddWindow("HH Parent", "Other Product Help", -1);
  EXPECT_EQ(RunTool("install"), inst::kExitInstalled);
  EXPECT_EQ(FindWindowW(TEXT("HH Parent"), TEXT("Lumascribe Help")), nullptr);
  EXPECT_NE(FindWindowW(TEXT("HH Parent"), TEXT("Other Product Help")), nullptr);
  size_t lastPost = 0, firstService = M().trace.size();
  for (size_t i = 0; i < M().trace.size(); ++i) {
    if (M().trace[i].call == "PostMessageW" && M().trace[i].detail.find("274") != std::string::npos) lastPost = i;
    if (M().trace[i].call == "OpenSCManagerW" && firstService == M().trace.size()) firstService = i;
  }
  EXPECT_GT(lastPost, 0u);
  EXPECT_LT(lastPost, firstService) << "the help windows were closed before the spooler was touched";
  ExpectProductInstalled();
}

}  // namespace
