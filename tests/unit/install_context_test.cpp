#include <gtest/gtest.h>

#include "core/install_log.h"
#include "support/sim.h"

using namespace inst;
using test::LogLines;
using test::U8;
using winsim::M;

namespace {

const std::vector<std::string> kCreationLog = {
    "Lumascribe 2501",
    ">Check Spooler",
    "PrinterDriverDirectory(1):C:\\Windows\\system32\\spool\\DRIVERS\\x64",
    "PrinterDriverDirectory(2):C:\\Windows\\system32\\spool\\DRIVERS\\x64\\",
};

class InstallContextTest : public test::SimTest {
 protected:
  void TearDown() override {
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  InstallContext context_{};
};

TEST_F(InstallContextTest, CreationOnTheDefaultMachine) {
  CreateInstallContext(&context_, kServerMode | kX64First);
  EXPECT_EQ(LogLines(context_), kCreationLog);
  EXPECT_EQ(U8(Text(context_.moduleDir)), "C:\\Program Files\\Lumascribe\\install\\");
  EXPECT_EQ(U8(Text(context_.systemDir)), "C:\\Windows\\system32\\");
  EXPECT_EQ(U8(Text(context_.driverDir)), "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\");
  EXPECT_EQ(U8(context_.environment), "Windows x64");
  EXPECT_EQ(U8(context_.monitorFile), "lmsmon64.dll");
  EXPECT_EQ(U8(context_.driverFile), "lmsdrv64.dll");
  EXPECT_EQ(U8(context_.uiFile), "lmsui64.dll");
  EXPECT_EQ(U8(context_.helpFile), "lmshelp.chm");
  EXPECT_TRUE(context_.isX64 && context_.serverMode && context_.InstallMonitor && context_.CopyMonitor);
  EXPECT_FALSE(context_.checkMonitorVersion);
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(context_.indent, 0);
  EXPECT_EQ(context_.redirectedPrinters, nullptr);
  ASSERT_EQ(context_.printers.count, 3u);
  EXPECT_TRUE(context_.printers.entries[0].Attributes & PRINTER_ATTRIBUTE_DEFAULT);
}

TEST_F(InstallContextTest, CreationStartsAStoppedSpoolerBeforeAskingIt) {
  test::Spooler().state = SERVICE_STOPPED;
  CreateInstallContext(&context_, kServerMode | kX64First);
  EXPECT_EQ(LogLines(context_), kCreationLog);
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(context_.printers.count, 3u) << "the snapshot is taken from the started spooler";
}

TEST_F(InstallContextTest, ASpoolerThatCannotStartLeavesAnEmptySnapshot) {
  test::Spooler().state = SERVICE_STOPPED;
  test::Spooler().startDelayMs = -1;
  CreateInstallContext(&context_, kServerMode | kX64First);
  std::vector<std::string> lines = LogLines(context_);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2].rfind("  Error(4): Can't start the spooler", 0), 0u) << lines[2];
  EXPECT_EQ(lines[3], "Error(6): Can`t retrieve printer driver directory. - (The RPC server is unavailable.)");
  EXPECT_EQ(context_.printers.count, 0u);
  EXPECT_EQ(context_.errorCount, 2);
}

TEST_F(InstallContextTest, OptionsPickModeAndEnvironment) {
  CreateInstallContext(&context_, 0);
  EXPECT_FALSE(context_.serverMode);
  EXPECT_FALSE(context_.isX64);
  EXPECT_EQ(U8(context_.environment), "Windows NT x86");
  EXPECT_EQ(U8(context_.monitorFile), "lmsmon32.dll");
  EXPECT_EQ(U8(Text(context_.driverDir)), "C:\\Windows\\system32\\spool\\DRIVERS\\W32X86\\");
}

TEST_F(InstallContextTest, SwitchingEnvironmentsBackAndForth) {
  CreateInstallContext(&context_, kServerMode | kX64First);
  SelectEnvironment(&context_, !context_.isX64);
  EXPECT_EQ(U8(context_.driverFile), "lmsdrv32.dll");
  EXPECT_EQ(U8(context_.uiFile), "lmsui32.dll");
  SelectEnvironment(&context_, !context_.isX64);
  EXPECT_EQ(U8(context_.environment), "Windows x64");
  std::vector<std::string> lines = LogLines(context_);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[4], "PrinterDriverDirectory(1):C:\\Windows\\system32\\spool\\DRIVERS\\W32X86");
  EXPECT_EQ(lines[7], "PrinterDriverDirectory(2):C:\\Windows\\system32\\spool\\DRIVERS\\x64\\");
}

TEST_F(InstallContextTest, UnreadableDriverDirectoryKeepsThePreviousOne) {
  CreateInstallContext(&context_, kServerMode | kX64First);
  test::AddFault("GetPrinterDriverDirectoryW", ERROR_INVALID_ENVIRONMENT, "x86");
  SelectEnvironment(&context_, false);
  EXPECT_EQ(U8(Text(context_.driverDir)), "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\");
  EXPECT_EQ(context_.errorCount, 1);
  EXPECT_EQ(LogLines(context_).back(),
            "Error(6): Can`t retrieve printer driver directory. - (The environment specified is invalid.)");
}

TEST_F(InstallContextTest, NoBufferForTheDirectoryIsReportedAsOutOfMemory) {
  test::AddFault("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  CreateInstallContext(&context_, kServerMode | kX64First);
  EXPECT_EQ(Text(context_.driverDir)[0], 0);
  EXPECT_EQ(LogLines(context_).back(),
            "Error(6): Can`t retrieve printer driver directory. - (Not enough memory resources are "
            "available to complete this operation.)");
}

TEST_F(InstallContextTest, DirectoriesWithoutTheSystemsHelp) {
  test::AddFault("GetSystemDirectoryW", ERROR_ACCESS_DENIED);
  test::AddFault("GetPrinterDriverDirectoryW", RPC_S_SERVER_UNAVAILABLE);
  M().os.modulePath = "install.exe";
  CreateInstallContext(&context_, kServerMode | kX64First);
  EXPECT_EQ(context_.moduleDir, nullptr);
  EXPECT_EQ(context_.systemDir, nullptr);
  EXPECT_EQ(context_.driverDir, nullptr);
  EXPECT_EQ(context_.errorCount, 3);
  std::vector<std::string> lines = LogLines(context_);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[2], "Error(6): Can`t retrieve printer driver directory. - (The RPC server is unavailable.)");
  EXPECT_EQ(lines[3], "Error(28): Can`t retrieve the installer's own path. - (The specified path is invalid.)");
  EXPECT_EQ(lines[4], "Error(7): Can`t retrieve system directory. - (Access is denied.)");
}

TEST_F(InstallContextTest, ModuleDirectoryEndsAtTheLastSeparatorOfAnyKind) {
  M().os.modulePath = "D:setup/bin\\x/install.exe";
  M().os.systemDir = "C:\\";
  CreateInstallContext(&context_, kServerMode | kX64First);
  EXPECT_EQ(U8(Text(context_.moduleDir)), "D:setup/bin\\x/");
  EXPECT_EQ(U8(Text(context_.systemDir)), "C:\\") << "no second backslash";
}

}  // namespace
