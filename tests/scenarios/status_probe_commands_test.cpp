// The setup's questions asked through the command line, answered through the exit code, on
// machines prepared as the setup finds them.
#include <gtest/gtest.h>

#include <string>

#include "core/entry.h"
#include "support/product_printers.h"
#include "support/sim.h"
#include "winsim/version_files.h"

using namespace inst;
using test::Spooler;
using test::U16;
using winsim::M;

namespace {

const std::string kSys = "C:\\Windows\\system32\\";

class StatusProbeCommandsTest : public test::SimTest {
 protected:
  static int Run(const std::string& arguments) {
    test::SetCommandLine(arguments);
    M().trace.clear();
    return Entry(nullptr);
  }
  // The product as an install leaves it: monitor, x64 driver of `build`, one printer per name.
  static void Installed(int build, std::initializer_list<const char*> printers = {"Lumascribe"}) {
    ASSERT_TRUE(winsim::WriteVersionedFile(kSys + "lmsmon64.dll", 1, 0, 0, 2501, "", {winsim::kMonitorEntry}));
    std::u16string monitor = u"LumascribeServer:", dll = u"lmsmon64.dll";
    MONITOR_INFO_2W monitorInfo = {monitor.data(), nullptr, dll.data()};
    ASSERT_TRUE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&monitorInfo)));
    ASSERT_TRUE(test::InstallProductDriver(build));
    for (const char* printerName : printers) test::AddProductPrinter(printerName);
  }
  static void PendingDeletion(const std::string& path) {
    winsim::SetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, REG_MULTI_SZ,
                        winsim::RegMultiSzBytes({"\\??\\" + path, ""}));
  }
  // Nothing of an install or uninstall: no context, no log window, no help window search.
  static void ExpectNoInstallerFrame() {
    EXPECT_EQ(winsim::CountCalls("FindWindowW"), 0);
    EXPECT_TRUE(M().ui.dialogs.empty());
    EXPECT_EQ(winsim::CountCalls("GetModuleFileNameW"), 0);
  }
};

TEST_F(StatusProbeCommandsTest, CheckDriverAnswersWithTheBuildOfTheDriverDll) {
  EXPECT_EQ(Run("onChkDrv"), kExitProbesNo) << "no product printer";
  Installed(2450);
  EXPECT_EQ(Run("onChkDrv"), kExitProbesNo);
  ASSERT_TRUE(test::InstallProductDriver(2451));
  EXPECT_EQ(Run("ONCHKDRV"), kExitDriverCurrent);
  EXPECT_EQ(Run("onchkdrv 12345"), kExitDriverCurrent) << "an owner argument changes nothing";
  ExpectNoInstallerFrame();
}

TEST_F(StatusProbeCommandsTest, CheckDriverDoesNotStartAStoppedSpooler) {
  Installed(2501);
  Spooler().state = SERVICE_STOPPED;
  EXPECT_EQ(Run("onChkDrv"), kExitProbesNo);
  EXPECT_EQ(Spooler().state, DWORD(SERVICE_STOPPED));
}

TEST_F(StatusProbeCommandsTest, InitWithoutPendingFilesAsksOnlyAboutTheDefaultPrinter) {
  Installed(2501);
  EXPECT_EQ(Run("onInit"), kExitNoProductDefault) << "another driver's printer is the default";
  M().spooler.defaultPrinter = "Lumascribe";
  EXPECT_EQ(Run("OnInit"), kExitProbesNo);
  EXPECT_EQ(winsim::CountCalls("OpenSCManagerW"), 0) << "the spooler is not touched";
  M().spooler.defaultPrinter.clear();
  EXPECT_EQ(Run("oninit"), kExitNoProductDefault) << "no default printer";
  ExpectNoInstallerFrame();
}

TEST_F(StatusProbeCommandsTest, InitWithALoadedProductDllStillPendingIsAnUpdate) {
  Installed(2501);
  M().spooler.defaultPrinter = "Lumascribe";
  PendingDeletion(kSys + "lmsmon64.dll");
  uint32_t starts = Spooler().starts;
  EXPECT_EQ(Run("onInit"), kExitUpdatePending);
  EXPECT_EQ(Spooler().starts, starts + 2);
  EXPECT_EQ(winsim::CountCalls("GetDefaultPrinterW"), 0) << "the default printer is not asked";
}

TEST_F(StatusProbeCommandsTest, InitGoesOnToTheDefaultPrinterWhenOneRestartFreedTheFiles) {
  Installed(2501);
  const std::string old = "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\Old\\1\\lmsui64.dll";
  ASSERT_TRUE(winsim::WriteMachineFile(old, "replaced while loaded"));
  M().drivers.moved.push_back({old, Spooler().starts});
  PendingDeletion(old);
  uint32_t starts = Spooler().starts;
  EXPECT_EQ(Run("onInit"), kExitNoProductDefault);
  EXPECT_EQ(Spooler().starts, starts + 1);
  EXPECT_FALSE(winsim::MachineFileExists(old));
  EXPECT_EQ(winsim::CountCalls("GetDefaultPrinterW"), 1);
}

TEST_F(StatusProbeCommandsTest, DefSetMakesTheFirstProductPrinterTheDefault) {
  EXPECT_EQ(Run("def.set"), kExitDefaultSet) << "nothing to make default";
  EXPECT_EQ(M().spooler.defaultPrinter, "Microsoft Print to PDF");
  Installed(2501, {"Lumascribe A", "Lumascribe B"});
  EXPECT_EQ(Run("DEF.SET"), kExitNoCommand);
  EXPECT_EQ(Run("def.se"), kExitNoCommand);
  EXPECT_EQ(M().spooler.defaultPrinter, "Microsoft Print to PDF");
  EXPECT_EQ(Run("def.set"), kExitDefaultSet);
  EXPECT_EQ(M().spooler.defaultPrinter, "Lumascribe A");
  EXPECT_EQ(Run("onInit"), kExitProbesNo) << "the product's printer is now the default";
  ExpectNoInstallerFrame();
}

}  // namespace
