// The product's printers through a reinstall on one context: captured and deleted, then created
// again with their settings keys, comments, locations, default status and shares, and their
// users' settings no longer marked as those of deleted printers.
#include <gtest/gtest.h>

#include <string>

#include "core/install_log.h"
#include "printers/printer_creation.h"
#include "printers/printer_removal.h"
#include "support/product_printers.h"
#include "support/sim.h"

using namespace inst;
using test::AddProductPrinter;
using winsim::M;

namespace {

struct Expected {
  std::string name, subKey, comment, location, shareName;
};

class PrinterReinstallTest : public test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    test::InstallProductSpoolerParts();
    for (const Expected& e : kPrinters) {
      winsim::Printer& p = AddProductPrinter(e.name, "");
      test::SetPrinterString(p, "DsUser", "SubKey", e.subKey);
      p.comment = e.comment;
      p.location = e.location;
      p.shareName = e.shareName;
      p.attributes |= PRINTER_ATTRIBUTE_SHARED;
      winsim::SetRegValue(test::SettingsKey(e.subKey), "deleted", REG_DWORD, winsim::RegDwordBytes(1));
      winsim::SetRegValue(test::SettingsKey(e.subKey), "Paper", REG_SZ, winsim::RegSzBytes("A4"));
    }
    M().spooler.defaultPrinter = kPrinters[0].name;
  }
  void TearDown() override {
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  void Reinstall() {
    CreateInstallContext(&context_, 3);
    context_.checkMonitorVersion = true;  // as a reinstall has it
    DeleteAllPrinters(&context_);
    for (const Expected& e : kPrinters) removed_ = removed_ && !winsim::FindPrinter(e.name);
    RestorePrinters(&context_);
  }
  const Expected kPrinters[2] = {
      {"Lumascribe Front Desk", "front-desk", "Reception", "Ground floor", "FrontDesk"},
      {"Lumascribe Archive", "archive", "Scans to archive", "Basement", "Archive"},
  };
  InstallContext context_{};
  bool removed_ = true;
};

TEST_F(PrinterReinstallTest, PrintersComeBackAsTheyWere) {
  Reinstall();
  EXPECT_TRUE(removed_);
  for (const Expected& e : kPrinters) {
    winsim::Printer* p = winsim::FindPrinter(e.name);
    ASSERT_NE(p, nullptr) << e.name;
    EXPECT_EQ(test::PrinterString(e.name, "DsUser", "SubKey"), e.subKey);
    EXPECT_EQ(test::PrinterString(e.name, "PrinterDriverData", "SubKey"), e.subKey);
    EXPECT_EQ(p->comment, e.comment);
    EXPECT_EQ(p->location, e.location);
    EXPECT_NE(p->attributes & PRINTER_ATTRIBUTE_SHARED, 0u) << e.name;
    EXPECT_EQ(p->shareName, e.shareName);
    EXPECT_EQ(p->portName, "LumascribeServer:");
    EXPECT_FALSE(winsim::GetRegValue(test::SettingsKey(e.subKey), "deleted", nullptr, nullptr)) << e.subKey;
    EXPECT_TRUE(winsim::GetRegValue(test::SettingsKey(e.subKey), "Paper", nullptr, nullptr)) << e.subKey;
  }
  EXPECT_EQ(M().spooler.defaultPrinter, kPrinters[0].name);
  EXPECT_EQ(winsim::FindPrinter("lumServer"), nullptr);
  // The chain runs backwards: the printer removed last is created first.
  std::vector<winsim::TraceEntry> adds = test::Calls("AddPrinterW");
  ASSERT_EQ(adds.size(), 2u);
  EXPECT_EQ(adds[0].detail, kPrinters[1].name + " 2");
  EXPECT_EQ(adds[1].detail, kPrinters[0].name + " 2");
  EXPECT_EQ(context_.errorCount, 0) << test::U8(Text(context_.logText));
  EXPECT_EQ(context_.indent, 0);
}

TEST_F(PrinterReinstallTest, APrinterWithoutAShareNameIsSharedUnderItsOwnName) {
  winsim::Printer* archive = winsim::FindPrinter(kPrinters[1].name);
  archive->shareName.clear();
  archive->attributes &= ~DWORD(PRINTER_ATTRIBUTE_SHARED);
  Reinstall();
  winsim::Printer* back = winsim::FindPrinter(kPrinters[1].name);
  ASSERT_NE(back, nullptr);
  EXPECT_NE(back->attributes & PRINTER_ATTRIBUTE_SHARED, 0u);
  EXPECT_EQ(back->shareName, kPrinters[1].name);
  EXPECT_EQ(winsim::FindPrinter(kPrinters[0].name)->shareName, kPrinters[0].shareName);
}

}  // namespace
