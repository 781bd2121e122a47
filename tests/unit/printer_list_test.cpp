#include <gtest/gtest.h>

#include "printers/printer_list.h"
#include "support/sim.h"

using namespace inst;
using test::AddFault;
using test::Calls;
using test::U16;
using test::U8;
using winsim::M;

namespace {

class PrinterListTest : public test::SimTest {
 protected:
  void TearDown() override {
    DestroyInstallContext(&context_);
    FreePrinterList(&list_);
    SimTest::TearDown();
  }
  static winsim::Printer LocalPrinter(const std::string& name) {
    winsim::Printer printer;
    printer.printerName = name;
    printer.portName = "LPT1:";
    printer.driverName = "Generic / Text Only";
    return printer;
  }
  std::vector<std::string> Marked() const {
    std::vector<std::string> names;
    for (DWORD i = 0; i < context_.printers.count; ++i)
      if (context_.printers.entries[i].Attributes & PRINTER_ATTRIBUTE_DEFAULT)
        names.push_back(U8(context_.printers.entries[i].pPrinterName));
    return names;
  }
  InstallContext context_{};
  PrinterList list_{};
};

TEST_F(PrinterListTest, TheDefaultMachinesPrintersWithTheDefaultMarked) {
  MarkDefaultPrinter(&context_);
  ASSERT_EQ(context_.printers.count, 3u);
  EXPECT_EQ(U8(context_.printers.entries[2].pPrinterName), "Fax");
  EXPECT_EQ(U8(context_.printers.entries[0].pPortName), "PORTPROMPT:");
  EXPECT_EQ(Marked(), (std::vector<std::string>{"Microsoft Print to PDF"}));
  EXPECT_FALSE(M().spooler.printers[0].attributes & PRINTER_ATTRIBUTE_DEFAULT) << "only the snapshot";
  std::vector<winsim::TraceEntry> enums = Calls("EnumPrintersW");
  ASSERT_EQ(enums.size(), 2u);
  std::string needed = std::to_string(M().heap.globalBlocks.begin()->second - 32);
  EXPECT_EQ(enums[1].detail, "6 2 " + needed) << "offered the size asked for, not the block's";
}

TEST_F(PrinterListTest, NoPrintersMeansNoBlockAndNothingMarked) {
  M().spooler.printers.clear();
  MarkDefaultPrinter(&context_);
  EXPECT_EQ(context_.printers.entries, nullptr);
  EXPECT_EQ(context_.printers.count, 0u);
  EXPECT_EQ(winsim::CountCalls("EnumPrintersW"), 1);
  EXPECT_EQ(winsim::CountCalls("GlobalAlloc"), 0);
}

TEST_F(PrinterListTest, FailuresLeaveTheListEmptyWithTheReason) {
  test::Spooler().state = SERVICE_STOPPED;
  EnumeratePrinters(&list_);
  EXPECT_EQ(list_.entries, nullptr);
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));

  test::Spooler().state = SERVICE_RUNNING;
  AddFault("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, "", 1, 1);
  EnumeratePrinters(&list_);
  EXPECT_EQ(list_.count, 0u);
  EXPECT_EQ(GetLastError(), DWORD(E_OUTOFMEMORY));
}

TEST_F(PrinterListTest, APrinterAddedBetweenTheTwoCallsEmptiesTheListWithoutRetry) {
  EnumeratePrinters(&list_);
  ASSERT_EQ(list_.count, 3u);
  M().spooler.arriveAfterSizing.push_back(LocalPrinter("Late"));
  EnumeratePrinters(&list_);
  EXPECT_EQ(list_.entries, nullptr);
  EXPECT_EQ(list_.count, 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(winsim::CountCalls("EnumPrintersW"), 4);
  EXPECT_TRUE(M().heap.globalBlocks.empty()) << "the first list was released too";
}

TEST_F(PrinterListTest, FreeingAnEmptyListOnlyZeroesTheCount) {
  list_.count = 7;
  FreePrinterList(&list_);
  EXPECT_EQ(list_.count, 0u);
  EXPECT_EQ(list_.entries, nullptr);
}

TEST_F(PrinterListTest, NoDefaultPrinterMarksNothing) {
  M().spooler.defaultPrinter.clear();
  MarkDefaultPrinter(&context_);
  EXPECT_EQ(context_.printers.count, 3u);
  EXPECT_TRUE(Marked().empty());
}

TEST_F(PrinterListTest, MarkingComparesExactlyAndMarksEveryMatch) {
  winsim::Printer connection = LocalPrinter("Office");
  connection.connection = true;
  connection.serverName = "\\\\print01";
  M().spooler.printers = {LocalPrinter("office"), LocalPrinter("Office"), LocalPrinter("Office "),
                          connection, LocalPrinter("Offic")};
  M().spooler.defaultPrinter = "Office";
  MarkDefaultPrinter(&context_);
  ASSERT_EQ(context_.printers.count, 5u);
  EXPECT_EQ(Marked(), (std::vector<std::string>{"Office", "Office"}));
  EXPECT_NE(context_.printers.entries[4].pServerName, nullptr) << "connections come last";
  EXPECT_TRUE(context_.printers.entries[4].Attributes & PRINTER_ATTRIBUTE_DEFAULT);
}

TEST_F(PrinterListTest, ADefaultNameMustFitIn255CharactersWithItsTerminator) {
  std::string longest(254, 'p');
  std::string tooLong(255, 'q');
  M().spooler.printers = {LocalPrinter(longest), LocalPrinter(tooLong)};
  M().spooler.defaultPrinter = longest;
  MarkDefaultPrinter(&context_);
  EXPECT_EQ(Marked(), (std::vector<std::string>{longest}));

  FreePrinterList(&context_.printers);
  M().spooler.defaultPrinter = tooLong;
  MarkDefaultPrinter(&context_);
  EXPECT_EQ(context_.printers.count, 2u);
  EXPECT_TRUE(Marked().empty());
  EXPECT_EQ(Calls("GetDefaultPrinterW").back().detail, "255");
}

TEST_F(PrinterListTest, OneOpenPrintersRecord) {
  std::u16string name = U16("Fax");
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(name.data(), &printer, nullptr));
  PRINTER_INFO_2W* info = GetPrinterInfo2(printer);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(U8(info->pDriverName), "Microsoft Shared Fax Driver");
  std::string size = std::to_string(M().heap.globalBlocks.at(info));
  EXPECT_EQ(Calls("GetPrinterW").at(1).detail, "Fax 2 " + size) << "a block of the size asked for";
  GlobalFree(info);
  ClosePrinter(printer);
}

TEST_F(PrinterListTest, ARejectedHandleGivesNoRecordAndNoBlock) {
  EXPECT_EQ(GetPrinterInfo2(reinterpret_cast<HANDLE>(0x1234)), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

  std::u16string name = U16("Fax");
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(name.data(), &printer, nullptr));
  AddFault("GetPrinterW", RPC_S_SERVER_UNAVAILABLE, "", 2, 2);
  EXPECT_EQ(GetPrinterInfo2(printer), nullptr) << "the filling call failed";
  AddFault("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(GetPrinterInfo2(printer), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(E_OUTOFMEMORY));
  ClosePrinter(printer);
}

}  // namespace
