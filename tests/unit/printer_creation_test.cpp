#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "printers/printer_creation.h"
#include "printers/printer_removal.h"
#include "printers/settings_key.h"
#include "support/product_printers.h"
#include "support/sim.h"

using namespace inst;
using test::AddProductPrinter;
using test::LogLines;
using winsim::M;

namespace {

class PrinterCreationTest : public test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    test::InstallProductSpoolerParts();
  }
  void TearDown() override {
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  // Removes the product printers the test set up, then creates them again.
  void Reinstall(uint32_t options = 3) {
    CreateInstallContext(&context_, options);
    context_.checkMonitorVersion = true;  // as a reinstall has it
    DeleteAllPrinters(&context_);
    logStart_ = LogLines(context_).size();
    RestorePrinters(&context_);
  }
  std::vector<std::string> RestoreLog() {
    std::vector<std::string> lines = LogLines(context_);
    return std::vector<std::string>(lines.begin() + long(logStart_), lines.end());
  }
  bool Logged(const std::string& line) {
    std::vector<std::string> lines = RestoreLog();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  static bool Shared(const std::string& name) {
    return (winsim::FindPrinter(name)->attributes & PRINTER_ATTRIBUTE_SHARED) != 0;
  }
  InstallContext context_{};
  size_t logStart_ = 0;
};

TEST_F(PrinterCreationTest, WithNothingCapturedOneSharedPrinterIsCreated) {
  Reinstall();
  EXPECT_EQ(RestoreLog(), (std::vector<std::string>{">AddPrinter(lumServer)", "  Let's check our port monitors",
                                                     "  Port monitor is found", "  OK :)"}));
  winsim::Printer* fallback = winsim::FindPrinter("lumServer");
  ASSERT_NE(fallback, nullptr);
  EXPECT_EQ(fallback->portName, "LumascribeServer:");
  EXPECT_EQ(fallback->driverName, "Lumascribe Server");
  EXPECT_TRUE(Shared("lumServer"));
  EXPECT_EQ(fallback->shareName, "lumServer") << "the spooler reported no share name of its own";
  EXPECT_TRUE(fallback->data.empty()) << "no settings key";
  EXPECT_EQ(M().spooler.defaultPrinter, "Microsoft Print to PDF");
  EXPECT_EQ(context_.errorCount, 0);
}

TEST_F(PrinterCreationTest, OutsideServerModeNothingIsShared) {
  winsim::Printer& kept = AddProductPrinter("Kept", "kept");
  kept.shareName = "KeptShare";
  kept.attributes |= PRINTER_ATTRIBUTE_SHARED;
  Reinstall(kX64First);
  EXPECT_FALSE(Shared("Kept"));
  EXPECT_EQ(winsim::CountCalls("SetPrinterW"), 2) << "the purge, and one for the restored printer";
}

TEST_F(PrinterCreationTest, TheFallbackWithoutServerModeIsNotShared) {
  Reinstall(kX64First);
  ASSERT_NE(winsim::FindPrinter("lumServer"), nullptr);
  EXPECT_FALSE(Shared("lumServer"));
  EXPECT_EQ(winsim::CountCalls("SetPrinterW"), 0);
}

TEST_F(PrinterCreationTest, AMissingMonitorIsLoggedAndTheAddIsStillTried) {
  M().monitors.monitors.pop_back();
  Reinstall();
  std::vector<std::string> log = RestoreLog();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[2], "  No Lumascribe port monitor was found.");
  EXPECT_EQ(log[3], "  ------- 5 existing monitors ----------");
  EXPECT_EQ(winsim::CountCalls("AddPrinterW"), 1);
  EXPECT_EQ(log.back(), "  Error(15): Can`t add printer 'lumServer' - (The specified port is unknown.)");
  EXPECT_EQ(context_.errorCount, 1);
}

TEST_F(PrinterCreationTest, WithoutAnyMonitorTheLogSaysSo) {
  M().monitors.monitors.clear();
  Reinstall();
  EXPECT_TRUE(Logged("  BTW, there is no port monitors on this system.")) << testing::PrintToString(RestoreLog());
  EXPECT_FALSE(Logged("  ------- 0 existing monitors ----------"));
}

TEST_F(PrinterCreationTest, ARefusedPrinterIsReportedAndTheFallbackTakesItsPlace) {
  AddProductPrinter("Only", "only");
  test::AddFault("AddPrinterW", ERROR_PRINTER_ALREADY_EXISTS, "Only");
  Reinstall();
  EXPECT_TRUE(Logged("  Error(15): Can`t add printer 'Only' - (The printer already exists.)"))
      << testing::PrintToString(RestoreLog());
  EXPECT_EQ(context_.errorCount, 1);
  EXPECT_NE(winsim::FindPrinter("lumServer"), nullptr);
  EXPECT_EQ(winsim::CountCalls("AddPrinterW"), 2);
}

TEST_F(PrinterCreationTest, ARestoredPrinterIsEnoughToSkipTheFallback) {
  AddProductPrinter("First", "first");
  AddProductPrinter("Second", "second");
  test::AddFault("AddPrinterW", ERROR_PRINTER_ALREADY_EXISTS, "Second");
  Reinstall();
  EXPECT_NE(winsim::FindPrinter("First"), nullptr);
  EXPECT_EQ(winsim::FindPrinter("lumServer"), nullptr);
  EXPECT_EQ(context_.errorCount, 1);
}

TEST_F(PrinterCreationTest, TheDeletedMarkGoesOnlyWhereTheNewPrinterHoldsTheKey) {
  AddProductPrinter("Marked", "marked");
  AddProductPrinter("Unmarked", "unmarked");
  AddProductPrinter("Keyless", "keyless");
  AddProductPrinter("Unwritten", "unwritten");
  for (const char* key : {"marked", "unwritten"}) {
    winsim::SetRegValue(test::SettingsKey(key), "deleted", REG_DWORD, winsim::RegDwordBytes(1));
    winsim::SetRegValue(test::SettingsKey(key), "Resolution", REG_DWORD, winsim::RegDwordBytes(600));
  }
  winsim::SetRegValue(test::SettingsKey("unmarked"), "Resolution", REG_DWORD, winsim::RegDwordBytes(300));
  test::AddFault("SetPrinterDataExA", ERROR_ACCESS_DENIED, "Unwritten");
  Reinstall();
  EXPECT_FALSE(winsim::GetRegValue(test::SettingsKey("marked"), "deleted", nullptr, nullptr));
  EXPECT_TRUE(winsim::GetRegValue(test::SettingsKey("marked"), "Resolution", nullptr, nullptr));
  EXPECT_TRUE(winsim::GetRegValue(test::SettingsKey("unwritten"), "deleted", nullptr, nullptr))
      << "the printer does not hold its key";
  EXPECT_EQ(test::PrinterString("Unwritten", "PrinterDriverData", "SubKey"), "unwritten")
      << "the plain write's failure would not matter";
  EXPECT_EQ(test::PrinterString("Keyless", "DsUser", "SubKey"), "keyless");
  EXPECT_EQ(context_.errorCount, 1) << "only the failed write is reported";
  ASSERT_NE(context_.savedPrinters, nullptr);
  EXPECT_EQ(test::U8(context_.savedPrinters->name), "Unwritten") << "and its printer keeps its record";
  EXPECT_EQ(context_.savedPrinters->next, nullptr);
  EXPECT_EQ(winsim::OpenRegKeyCount(), 0u);
}

TEST_F(PrinterCreationTest, ClearDeletedMarkTellsWhetherAValueWent) {
  winsim::SetRegValue(test::SettingsKey("k"), "deleted", REG_SZ, winsim::RegSzBytes("yes"));
  EXPECT_TRUE(ClearDeletedMark("Lumascribes\\k"));
  EXPECT_FALSE(ClearDeletedMark("Lumascribes\\k")) << "already gone";
  EXPECT_FALSE(ClearDeletedMark("Lumascribes\\missing"));
  EXPECT_EQ(winsim::OpenRegKeyCount(), 0u);
}

}  // namespace
