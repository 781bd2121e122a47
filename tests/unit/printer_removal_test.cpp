#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "printers/printer_removal.h"
#include "support/product_printers.h"
#include "support/sim.h"

using namespace inst;
using test::AddFault;
using test::AddProductPrinter;
using test::LogLines;
using winsim::M;

namespace {

class PrinterRemovalTest : public test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    test::InstallProductSpoolerParts();
  }
  void TearDown() override {
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  // A context taken on the machine as the test left it, and the removal of a reinstall run on it.
  void Remove() {
    CreateInstallContext(&context_, 3);
    context_.checkMonitorVersion = true;
    logStart_ = LogLines(context_).size();
    DeleteAllPrinters(&context_);
  }
  std::vector<std::string> RemovalLog() {
    std::vector<std::string> lines = LogLines(context_);
    return std::vector<std::string>(lines.begin() + long(logStart_), lines.end());
  }
  // savedPrinters from the head: each printer's name and settings key.
  std::vector<std::string> Saved() {
    std::vector<std::string> saved;
    for (const SavedPrinter* node = context_.savedPrinters; node; node = node->next)
      saved.push_back(test::U8(node->name) + "=" + node->subKey);
    return saved;
  }
  InstallContext context_{};
  size_t logStart_ = 0;
};

TEST_F(PrinterRemovalTest, OnlyPrintersOfExactlyTheProductDriverAreTouched) {
  AddProductPrinter("Lower", "k1", "lumascribe server");
  AddProductPrinter("Longer", "k2", "Lumascribe Server 2");
  AddProductPrinter("Shorter", "k3", "Lumascribe Serve");
  Remove();
  EXPECT_EQ(RemovalLog(), std::vector<std::string>{">DeleteAllPrinters"});
  EXPECT_EQ(context_.savedPrinters, nullptr);
  for (const char* name : {"Lower", "Longer", "Shorter"}) EXPECT_NE(winsim::FindPrinter(name), nullptr) << name;
  EXPECT_EQ(winsim::CountCalls("OpenPrinterW"), 0);
}

TEST_F(PrinterRemovalTest, PrintersGoInSnapshotOrderAndTheChainRunsBackwards) {
  AddProductPrinter("A", "key-a");
  AddProductPrinter("Office", "", "Microsoft Print To PDF");
  AddProductPrinter("B", "key-b");
  AddProductPrinter("C", "key-c");
  Remove();
  EXPECT_EQ(RemovalLog(), (std::vector<std::string>{">DeleteAllPrinters", "  >DeletePrinter(A)", "    OK",
                                                     "  >DeletePrinter(B)", "    OK", "  >DeletePrinter(C)",
                                                     "    OK"}));
  EXPECT_EQ(Saved(), (std::vector<std::string>{"C=key-c", "B=key-b", "A=key-a"}));
  for (const char* name : {"A", "B", "C"}) EXPECT_EQ(winsim::FindPrinter(name), nullptr) << name;
  EXPECT_NE(winsim::FindPrinter("Office"), nullptr);
  EXPECT_EQ(context_.printers.count, 7u) << "the snapshot keeps the deleted printers' records";
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(context_.indent, 0);
}

TEST_F(PrinterRemovalTest, TheDsUserValueStandsInForAMissingOrMistypedSubKey) {
  test::SetPrinterString(AddProductPrinter("Directory", ""), "DsUser", "SubKey", "from-ds");
  winsim::Printer& typed = AddProductPrinter("Typed", "");
  typed.data.push_back({"PrinterDriverData", {{"SubKey", REG_BINARY, std::string("bin\0", 4)}}, {}});
  test::SetPrinterString(typed, "DsUser", "SubKey", "typed-ds");
  winsim::Printer& nothing = AddProductPrinter("Nothing", "");
  nothing.data.push_back({"PrinterDriverData", {{"SubKey", REG_DWORD, winsim::RegDwordBytes(7)}}, {}});
  Remove();
  EXPECT_EQ(Saved(), (std::vector<std::string>{"Typed=typed-ds", "Directory=from-ds"}));
  EXPECT_EQ(winsim::FindPrinter("Nothing"), nullptr) << "deleted without a node";
}

TEST_F(PrinterRemovalTest, ASettingsKeyNameFitsIn63Characters) {
  std::string longest(63, 'k'), tooLong(64, 'x');
  AddProductPrinter("Fits", longest);
  test::SetPrinterString(AddProductPrinter("Too long", tooLong), "DsUser", "SubKey", tooLong);
  Remove();
  EXPECT_EQ(Saved(), std::vector<std::string>{"Fits=" + longest});
  EXPECT_EQ(winsim::FindPrinter("Too long"), nullptr);
}

TEST_F(PrinterRemovalTest, QueuedJobsArePurgedBeforeTheDelete) {
  AddProductPrinter("Busy", "busy").cJobs = 4;
  Remove();
  EXPECT_EQ(winsim::FindPrinter("Busy"), nullptr) << "not left pending deletion";
  std::vector<std::string> calls;
  for (const winsim::TraceEntry& e : M().trace)
    if (e.call == "SetPrinterW" || e.call == "DeletePrinter") calls.push_back(e.call + " " + e.detail);
  EXPECT_EQ(calls, (std::vector<std::string>{"SetPrinterW Busy 0 3", "DeletePrinter Busy"}));
}

TEST_F(PrinterRemovalTest, APrinterAlreadyPendingDeletionIsDeletedWithoutAnError) {
  winsim::Printer& pending = AddProductPrinter("Leaving", "leaving");
  pending.cJobs = 2;
  pending.status = PRINTER_STATUS_PENDING_DELETION;
  Remove();
  EXPECT_EQ(RemovalLog(), (std::vector<std::string>{">DeleteAllPrinters", "  >DeletePrinter(Leaving)", "    OK"}));
  EXPECT_EQ(winsim::FindPrinter("Leaving"), nullptr);
}

TEST_F(PrinterRemovalTest, ARefusedDeleteIsReportedAndTheNextPrinterStillGoes) {
  AddProductPrinter("Stuck", "stuck");
  AddProductPrinter("Next", "next");
  AddFault("DeletePrinter", ERROR_ACCESS_DENIED, "Stuck");
  Remove();
  std::vector<std::string> log = RemovalLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "    Error(17): Can`t delete printer 'Stuck' - (Access is denied.)"),
            log.end())
      << testing::PrintToString(log);
  EXPECT_EQ(context_.errorCount, 1);
  EXPECT_NE(winsim::FindPrinter("Stuck"), nullptr);
  EXPECT_EQ(winsim::FindPrinter("Next"), nullptr);
  EXPECT_EQ(Saved(), (std::vector<std::string>{"Next=next", "Stuck=stuck"})) << "its node stays";
}

TEST_F(PrinterRemovalTest, APrinterWhoseCaptureFailsIsReportedAndStays) {
  AddProductPrinter("Closed", "closed");
  AddProductPrinter("Locked", "locked");
  AddFault("OpenPrinterW", RPC_S_SERVER_UNAVAILABLE, "Closed", 1, 1);  // the capture's open
  AddFault("OpenPrinterW", ERROR_ACCESS_DENIED, "Locked", 2, 2);       // the delete's open
  Remove();
  EXPECT_NE(winsim::FindPrinter("Closed"), nullptr);
  EXPECT_NE(winsim::FindPrinter("Locked"), nullptr);
  EXPECT_EQ(Saved(), std::vector<std::string>{"Locked=locked"});
  std::vector<std::string> log = RemovalLog();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "  Error(18): Can`t read the settings of printer 'Closed' - (The RPC server is unavailable.)"),
            log.end())
      << testing::PrintToString(log);
  EXPECT_NE(std::find(log.begin(), log.end(), "    Error(16): Can`t open printer 'Locked' - (Access is denied.)"),
            log.end())
      << testing::PrintToString(log);
  EXPECT_EQ(context_.errorCount, 2);
  EXPECT_EQ(context_.keptPrinters, 1);
}

}  // namespace
