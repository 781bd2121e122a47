#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/install_log.h"
#include "spooler/driver_install.h"
#include "support/sim.h"
#include "winsim/version_files.h"

using namespace inst;
using test::AddFault;
using test::LogLines;
using test::U16;
using test::U8;
using winsim::M;
using winsim::MachineFileExists;

namespace {

const std::string kTool = "C:\\Program Files\\Lumascribe\\install\\";
const std::string kX64 = "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\";
const std::string kX86 = "C:\\Windows\\system32\\spool\\DRIVERS\\W32X86\\";

class DriverInstallTest : public test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    AssignString(context_.moduleDir, U16(kTool).c_str());
    SelectEnvironment(&context_, true);
    FreeString(context_.logText);
  }
  void TearDown() override {
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  static const winsim::PrinterDriver* Product(const std::string& env) {
    for (const winsim::PrinterDriver& d : M().drivers.installed)
      if (d.name == "Lumascribe Server" && d.environment == env) return &d;
    return nullptr;
  }
  std::vector<std::string> Pending() const {
    std::vector<std::string> paths;
    for (const PendingDelete* node = context_.pendingDeletes; node; node = node->next) paths.push_back(U8(node->path));
    return paths;
  }
  static bool Staged(const std::string& dir) {
    for (const char* name : {"lmsdrv64.dll", "lmsui64.dll", "lmsdrv32.dll", "lmsui32.dll", "lmshelp.chm"})
      if (MachineFileExists(dir + name)) return true;
    return false;
  }
  InstallContext context_{};
};

TEST_F(DriverInstallTest, InstallsFromStagedCopiesAndLeavesNoneBehind) {
  AddPrinterDriver(&context_);
  std::vector<std::string> lines = LogLines(context_);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], ">Add Printer Driver");
  EXPECT_EQ(lines[1], "  >CopyFile lmsdrv64.dll to " + kX64 + " [1])");
  EXPECT_EQ(lines[3], "  >CopyFile lmsui64.dll to " + kX64 + " [1])");
  EXPECT_EQ(lines[5], "  >CopyFile lmshelp.chm to " + kX64 + " [1])");
  EXPECT_EQ(lines[6], "    Copy Succeeded :)");
  EXPECT_EQ(lines[7], "  OK :)");
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(context_.indent, 0);
  EXPECT_FALSE(Staged(kX64));
  EXPECT_TRUE(Pending().empty());

  const winsim::PrinterDriver* d = Product("Windows x64");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->version, 3u);
  EXPECT_EQ(d->driverPath, kX64 + "3\\lmsdrv64.dll");
  EXPECT_EQ(d->dataFile, kX64 + "3\\lmsdrv64.dll");
  EXPECT_EQ(d->configFile, kX64 + "3\\lmsui64.dll");
  EXPECT_EQ(d->helpFile, kX64 + "3\\lmshelp.chm");
  EXPECT_TRUE(d->dependentFiles.empty());
  EXPECT_EQ(d->mfgName, "Veldrin Software Kft.");
  EXPECT_EQ(d->provider, "Veldrin Software Kft.");
  EXPECT_EQ(d->oemUrl, "https://www.veldrin-software.example/lumascribe");
  std::string original, installed;
  ASSERT_TRUE(winsim::ReadMachineFile(kTool + "lmsui64.dll", &original));
  ASSERT_TRUE(winsim::ReadMachineFile(d->configFile, &installed));
  EXPECT_TRUE(original == installed);
  ASSERT_EQ(test::Calls("AddPrinterDriverExW").size(), 1u);
  EXPECT_EQ(test::Calls("AddPrinterDriverExW")[0].detail, "Lumascribe Server 6 4");
  std::vector<winsim::TraceEntry> deletes = test::Calls("DeleteFileW");
  ASSERT_EQ(deletes.size(), 3u);
  EXPECT_EQ(deletes[0].detail, kX64 + "lmsdrv64.dll");
  EXPECT_EQ(deletes[1].detail, kX64 + "lmsui64.dll");
  EXPECT_EQ(deletes[2].detail, kX64 + "lmshelp.chm");
}

TEST_F(DriverInstallTest, WithoutHelpFileTheDriverIsInstalledWithoutHelp) {
  ASSERT_EQ(DeleteFileW(U16(kTool + "lmshelp.chm").c_str()), TRUE);
  AddPrinterDriver(&context_);
  std::vector<std::string> lines = LogLines(context_);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[6], "    Error(10): Cant't open source file: lmshelp.chm - (The system cannot find the file specified.)");
  EXPECT_EQ(lines.back(), "  OK :)");
  EXPECT_EQ(context_.errorCount, 1);
  const winsim::PrinterDriver* d = Product("Windows x64");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->helpFile, "");
  EXPECT_FALSE(Staged(kX64));
  EXPECT_TRUE(Pending().empty()) << "the empty help path is not queued";
}

TEST_F(DriverInstallTest, WithoutConfigurationDllNothingIsInstalled) {
  ASSERT_EQ(DeleteFileW(U16(kTool + "lmsui64.dll").c_str()), TRUE);
  M().trace.clear();
  AddPrinterDriver(&context_);
  EXPECT_EQ(winsim::CountCalls("AddPrinterDriverExW"), 0);
  EXPECT_EQ(winsim::CountCalls("DeleteFileW"), 0);
  EXPECT_TRUE(MachineFileExists(kX64 + "lmsdrv64.dll")) << "the staged driver DLL stays";
  EXPECT_EQ(Product("Windows x64"), nullptr);
  EXPECT_EQ(context_.errorCount, 1) << "the copy's error 10 only";
  EXPECT_EQ(LogLines(context_).back(), "    Copy Failed :(");
  EXPECT_EQ(context_.indent, 0);
}

TEST_F(DriverInstallTest, ARefusedInstallationStillDeletesTheStagedCopies) {
  AddFault("AddPrinterDriverExW", ERROR_ACCESS_DENIED);
  AddPrinterDriver(&context_);
  EXPECT_EQ(LogLines(context_).back(),
            "  Error(13): Can`t install a printer driver 'Lumascribe Server' - (Access is denied.)");
  EXPECT_EQ(context_.errorCount, 1);
  EXPECT_FALSE(Staged(kX64));
  EXPECT_EQ(Product("Windows x64"), nullptr);
}

TEST_F(DriverInstallTest, EachEnvironmentGetsItsOwnFilesInServerMode) {
  AddPrinterDriver(&context_);
  SelectEnvironment(&context_, false);
  AddPrinterDriver(&context_);
  SelectEnvironment(&context_, true);
  const winsim::PrinterDriver* x86 = Product("Windows NT x86");
  ASSERT_NE(x86, nullptr);
  EXPECT_EQ(x86->driverPath, kX86 + "3\\lmsdrv32.dll");
  EXPECT_EQ(x86->configFile, kX86 + "3\\lmsui32.dll");
  EXPECT_EQ(x86->helpFile, kX86 + "3\\lmshelp.chm");
  ASSERT_NE(Product("Windows x64"), nullptr);
  EXPECT_EQ(Product("Windows x64")->driverPath, kX64 + "3\\lmsdrv64.dll");
  std::vector<winsim::TraceEntry> adds = test::Calls("AddPrinterDriverExW");
  ASSERT_EQ(adds.size(), 2u);
  EXPECT_FALSE(Staged(kX64));
  EXPECT_FALSE(Staged(kX86));
  EXPECT_EQ(context_.errorCount, 0);
}

// The spooler keeps the files of the installed driver it loaded, under "3\", never the staged
// copies beside it: a reinstall over a loaded earlier build still cleans up after itself.
TEST_F(DriverInstallTest, AnEarlierBuildLoadedByTheSpoolerLeavesTheStagingClean) {
  winsim::WriteVersionedFile(kTool + "lmsdrv64.dll", 1, 0, 0, 2450, "old driver");
  AddPrinterDriver(&context_);
  winsim::WriteVersionedFile(kTool + "lmsdrv64.dll", 1, 0, 0, 2501, "new driver");
  EXPECT_FALSE(DeleteFileW(U16(kX64 + "3\\lmsdrv64.dll").c_str())) << "loaded";
  AddPrinterDriver(&context_);
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_FALSE(Staged(kX64));
  EXPECT_TRUE(Pending().empty());
  std::string installed, fresh;
  ASSERT_TRUE(winsim::ReadMachineFile(kX64 + "3\\lmsdrv64.dll", &installed));
  ASSERT_TRUE(winsim::ReadMachineFile(kTool + "lmsdrv64.dll", &fresh));
  EXPECT_TRUE(installed == fresh);
  EXPECT_TRUE(MachineFileExists(kX64 + "3\\Old\\1\\lmsdrv64.dll")) << "the loaded build, moved aside";
}

// A staged copy that something still has open (an on-access scanner, say) waits in the list of
// pending deletions; the others go at once.
TEST_F(DriverInstallTest, AStagedCopyThatCannotBeDeletedIsQueued) {
  AddFault("DeleteFileW", ERROR_SHARING_VIOLATION, "x64\\lmsui64.dll");
  AddPrinterDriver(&context_);
  EXPECT_EQ(Pending(), (std::vector<std::string>{kX64 + "lmsui64.dll"}));
  EXPECT_EQ(context_.errorCount, 0) << "no error";
  EXPECT_FALSE(MachineFileExists(kX64 + "lmsdrv64.dll"));
  EXPECT_FALSE(MachineFileExists(kX64 + "lmshelp.chm"));
  EXPECT_EQ(LogLines(context_).back(), "  OK :)");
  M().faults.clear();
  RetryPendingDeletes(&context_);
  EXPECT_TRUE(Pending().empty());
  EXPECT_FALSE(Staged(kX64));
}

}  // namespace
