// The recovery records of the captured printers across whole runs: written before the first
// printer goes, left by a run that could not recreate the printers, used up by the next install,
// dropped for a printer that is there already, removed by an uninstall.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "printers/printer_records.h"
#include "support/product_printers.h"
#include "support/sim.h"
#include "support/tool_runs.h"
#include "winsim/windows.h"

using namespace test;
using winsim::M;

namespace {

const char kRecordsKey[] = "HKLM\\SOFTWARE\\Veldrin Software KFT\\Lumascribe\\Install";

class PrinterRecordsTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    ASSERT_EQ(RunTool("install"), 1);
  }
  // The recorded printers, each as name=settings key/comment.
  static std::vector<std::string> Records() {
    std::vector<std::string> records;
    inst::SavedPrinter* head = nullptr;
    EXPECT_EQ(inst::ReadPrinterRecords(&head), DWORD(ERROR_SUCCESS));
    for (inst::SavedPrinter* node = head; node; node = node->next)
      records.push_back(U8(node->name) + "=" + node->subKey + "/" + (node->comment ? U8(node->comment) : "-"));
    inst::FreeSavedPrinters(head);
    return records;
  }
  static size_t TraceIndex(const std::string& call) {
    for (size_t i = 0; i < M().trace.size(); ++i)
      if (M().trace[i].call == call) return i;
    return M().trace.size();
  }
};

TEST_F(PrinterRecordsTest, AFailedReinstallLeavesTheRecordsAndTheNextInstallUsesThemUp) {
  AddProductPrinter("Desk", "desk").comment = "Reception";
  AddProductPrinter("Archive", "archive");
  AddFault("AddPrinterW", RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(RunTool("install"), 100);
  EXPECT_LT(TraceIndex("RegSetValueExW"), TraceIndex("DeletePrinter")) << "recorded before the first deletion";
  EXPECT_TRUE(ProductPrinters().empty());
  EXPECT_EQ(Records(), (std::vector<std::string>{"Archive=archive/", "Desk=desk/Reception"}));

  M().faults.clear();
  EXPECT_EQ(RunTool("install"), 1);
  EXPECT_EQ(ProductPrinters(), (std::vector<std::string>{"Archive", "Desk"}));
  EXPECT_EQ(winsim::FindPrinter("Desk")->comment, "Reception");
  EXPECT_EQ(PrinterString("Archive", "DsUser", "SubKey"), "archive");
  EXPECT_EQ(winsim::FindPrinter("lumServer"), nullptr);
  EXPECT_EQ(winsim::FindRegKey(kRecordsKey), nullptr) << "every record used up";
}

TEST_F(PrinterRecordsTest, ARecordWhosePrinterIsThereMakesNoSecondOneAndAnUninstallRemovesThemAll) {
  AddProductPrinter("Desk", "desk");
  winsim::Printer office;
  office.printerName = "Office";
  office.portName = "LPT1:";
  office.driverName = "Microsoft Print To PDF";
  M().spooler.printers.push_back(office);
  inst::SavedPrinter* head = nullptr;
  // A connection is no printer of this machine's to make: its record goes unused.
  for (const char16_t* name : {u"Desk", u"Office", u"Gone", u"\\\\printsrv\\Hall"})
    if (inst::SavedPrinter* node = inst::NewSavedPrinter(name, "kept", u"from the record", nullptr, nullptr, 0)) {
      node->next = head;
      head = node;
    }
  ASSERT_EQ(inst::WritePrinterRecords(head), DWORD(ERROR_SUCCESS));

  AddFault("AddPrinterW", RPC_S_SERVER_UNAVAILABLE, "Gone");
  EXPECT_EQ(RunTool("install"), 100);
  EXPECT_EQ(ProductPrinters(), std::vector<std::string>{"Desk"}) << "one Desk, and Office left alone";
  EXPECT_EQ(winsim::FindPrinter("Desk")->comment, "from the record");
  EXPECT_EQ(winsim::FindPrinter("Office")->driverName, "Microsoft Print To PDF");
  EXPECT_EQ(winsim::FindPrinter("\\\\printsrv\\Hall"), nullptr);
  EXPECT_EQ(Records(), std::vector<std::string>{"Gone=kept/from the record"});

  M().faults.clear();
  EXPECT_EQ(RunTool("uninstall"), 2);
  EXPECT_TRUE(ProductPrinters().empty());
  EXPECT_EQ(winsim::FindRegKey(kRecordsKey), nullptr);
  inst::FreeSavedPrinters(head);
}

}  // namespace
