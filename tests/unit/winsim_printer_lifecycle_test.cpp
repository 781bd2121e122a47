#include <gtest/gtest.h>

#include "support/product_printers.h"
#include "support/sim.h"

using test::U16;
using winsim::M;

namespace {

class WinsimPrinterLifecycleTest : public test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    test::InstallProductSpoolerParts();
    record_.pPrinterName = name_.data();
    record_.pPortName = port_.data();
    record_.pDriverName = driver_.data();
    record_.pPrintProcessor = processor_.data();
  }
  HANDLE Add() { return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&record_)); }
  // Adding refused with `error`, and nothing added.
  void ExpectRefused(DWORD error) {
    size_t before = M().spooler.printers.size();
    EXPECT_EQ(Add(), nullptr);
    EXPECT_EQ(GetLastError(), error);
    EXPECT_EQ(M().spooler.printers.size(), before);
  }
  static HANDLE Open(const std::string& name, DWORD access) {
    std::u16string wide = U16(name);
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
    HANDLE printer = nullptr;
    EXPECT_TRUE(OpenPrinterW(wide.data(), &printer, &defaults)) << name;
    return printer;
  }
  std::u16string name_ = U16("Lumascribe"), port_ = U16("LumascribeServer:"), driver_ = U16("Lumascribe Server"),
                 processor_ = U16("WinPrint");
  PRINTER_INFO_2W record_{};
};

TEST_F(WinsimPrinterLifecycleTest, AddPrinterChecksWhatTheRecordNames) {
  std::u16string bad = U16("nowhere:");
  record_.pPortName = bad.data();
  ExpectRefused(ERROR_UNKNOWN_PORT);
  record_.pPortName = port_.data();

  std::u16string x86Only = U16("Only For x86");
  winsim::PrinterDriver driver;
  driver.environment = "Windows NT x86";
  driver.name = "Only For x86";
  M().drivers.installed.push_back(driver);
  record_.pDriverName = x86Only.data();
  ExpectRefused(ERROR_UNKNOWN_PRINTER_DRIVER);  // printers use the machine's own environment
  record_.pDriverName = driver_.data();

  std::u16string other = U16("lpprint");
  record_.pPrintProcessor = other.data();
  ExpectRefused(ERROR_UNKNOWN_PRINTPROCESSOR);
  record_.pPrintProcessor = processor_.data();

  std::u16string odd = U16("PCL");
  record_.pDatatype = odd.data();
  ExpectRefused(ERROR_INVALID_DATATYPE);
  record_.pDatatype = nullptr;

  std::u16string taken = U16("fax");
  record_.pPrinterName = taken.data();
  ExpectRefused(ERROR_PRINTER_ALREADY_EXISTS);
  record_.pPrinterName = name_.data();

  HANDLE printer = Add();
  ASSERT_NE(printer, nullptr) << "a null datatype is the print processor's default";
  winsim::Printer* added = winsim::FindPrinter("Lumascribe");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->datatype, "RAW");
  EXPECT_EQ(added->attributes, DWORD(PRINTER_ATTRIBUTE_LOCAL));
  // The handle may administer and delete.
  BYTE data[] = "x";
  EXPECT_EQ(SetPrinterDataExA(printer, "DsUser", "SubKey", REG_SZ, data, 2), DWORD(ERROR_SUCCESS));
  EXPECT_TRUE(DeletePrinter(printer));
  EXPECT_TRUE(ClosePrinter(printer));
  EXPECT_EQ(winsim::FindPrinter("Lumascribe"), nullptr);
}

TEST_F(WinsimPrinterLifecycleTest, ASharedPrinterNeedsAShareNameOfItsOwn) {
  winsim::Printer& office = test::AddProductPrinter("Office", "");
  office.shareName = "Lum";
  office.attributes |= PRINTER_ATTRIBUTE_SHARED;
  record_.Attributes = PRINTER_ATTRIBUTE_SHARED;
  ExpectRefused(ERROR_INVALID_SHARENAME);
  std::u16string empty = U16("");
  record_.pShareName = empty.data();
  ExpectRefused(ERROR_INVALID_SHARENAME);
  std::u16string same = U16("LUM");
  record_.pShareName = same.data();
  ExpectRefused(ERROR_INVALID_SHARENAME);
  office.attributes &= ~DWORD(PRINTER_ATTRIBUTE_SHARED);
  HANDLE printer = Add();
  ASSERT_NE(printer, nullptr) << "an unshared printer's share name is free";
  EXPECT_EQ(winsim::FindPrinter("Lumascribe")->shareName, "LUM");
  ClosePrinter(printer);
}

TEST_F(WinsimPrinterLifecycleTest, APrinterWithJobsGoesWhenTheyArePurged) {
  winsim::Printer& busy = test::AddProductPrinter("Busy", "key");
  busy.cJobs = 3;
  HANDLE noDelete = Open("Busy", PRINTER_ACCESS_ADMINISTER);
  EXPECT_FALSE(DeletePrinter(noDelete));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  HANDLE printer = Open("Busy", DELETE | PRINTER_ACCESS_ADMINISTER);
  ASSERT_TRUE(DeletePrinter(printer));
  winsim::Printer* pending = winsim::FindPrinter("Busy");
  ASSERT_NE(pending, nullptr) << "kept until its jobs are gone";
  EXPECT_EQ(pending->status, DWORD(PRINTER_STATUS_PENDING_DELETION));
  std::u16string busyName = U16("Busy");
  record_.pPrinterName = busyName.data();
  ExpectRefused(ERROR_PRINTER_ALREADY_EXISTS);

  // Without its jobs it still waits for its last handle to close.
  ASSERT_TRUE(SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE));
  ASSERT_NE(winsim::FindPrinter("Busy"), nullptr) << "handles are still open";
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(noDelete, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER)) << "its handles still work";
  EXPECT_TRUE(ClosePrinter(noDelete));
  EXPECT_NE(winsim::FindPrinter("Busy"), nullptr);
  EXPECT_TRUE(ClosePrinter(printer));
  EXPECT_EQ(winsim::FindPrinter("Busy"), nullptr) << "the last handle let it go";

  HANDLE again = Add();
  ASSERT_NE(again, nullptr) << "the name is free again";
  EXPECT_TRUE(winsim::FindPrinter("Busy")->data.empty()) << "nothing of the old printer's data is left";
  ClosePrinter(again);
}

TEST_F(WinsimPrinterLifecycleTest, AHeldPrinterWithJobsCannotBeDeleted) {
  test::AddProductPrinter("Held", "").cJobs = 1;
  HANDLE printer = Open("Held", DELETE | PRINTER_ACCESS_ADMINISTER);
  ASSERT_TRUE(SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PAUSE));
  EXPECT_FALSE(DeletePrinter(printer));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(SetPrinterW(printer, 0, nullptr, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_COMMAND));
  ASSERT_TRUE(SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_RESUME));
  EXPECT_TRUE(DeletePrinter(printer));
  EXPECT_NE(winsim::FindPrinter("Held"), nullptr);
  ClosePrinter(printer);
}

TEST_F(WinsimPrinterLifecycleTest, DeletingTheDefaultPrinterLeavesNoDefault) {
  HANDLE printer = Open("Microsoft Print to PDF", DELETE);
  ASSERT_TRUE(DeletePrinter(printer));
  ClosePrinter(printer);
  WCHAR name[64];
  DWORD size = 64;
  EXPECT_FALSE(GetDefaultPrinterW(name, &size));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

// Printers come and go among many: the others keep their places, new local printers come after
// the local ones and before the connections, and names are found in any case.
TEST_F(WinsimPrinterLifecycleTest, ManyPrintersKeepTheirOrderAsOthersComeAndGo) {
  winsim::Printer connection;
  connection.connection = true;
  connection.printerName = "\\\\print01\\Laser";
  M().spooler.printers.push_back(connection);
  std::vector<std::string> expected = {"Microsoft Print to PDF", "Microsoft XPS Document Writer", "Fax"};
  std::vector<std::u16string> names;
  for (int i = 0; i < 200; ++i) names.push_back(U16("Printer " + std::to_string(i)));
  for (std::u16string& name : names) {
    record_.pPrinterName = name.data();
    ASSERT_TRUE(ClosePrinter(Add()));
  }
  for (int i = 0; i < 200; ++i)
    if (i % 3) expected.push_back("Printer " + std::to_string(i));
  for (int i = 0; i < 200; i += 3) {
    HANDLE printer = Open((i % 2 ? "printer " : "PRINTER ") + std::to_string(i), DELETE);
    ASSERT_TRUE(DeletePrinter(printer));
    ClosePrinter(printer);
  }
  record_.pPrinterName = names[0].data();
  ASSERT_TRUE(ClosePrinter(Add()));
  expected.push_back("Printer 0");
  expected.push_back(connection.printerName);
  std::vector<std::string> listed;
  for (const winsim::Printer& p : M().spooler.printers) listed.push_back(p.printerName);
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(winsim::FindPrinter("printer 3"), nullptr);
  EXPECT_EQ(winsim::FindPrinter("PRINTER 199")->printerName, "Printer 199");
  EXPECT_EQ(winsim::FindPrinter("\\\\PRINT01\\laser")->printerName, connection.printerName);
}

class WinsimPrinterDataTest : public WinsimPrinterLifecycleTest {};

TEST_F(WinsimPrinterDataTest, StringsComeBackInAnsiBytesWithTheSizingProtocol) {
  HANDLE printer = Add();
  ASSERT_NE(printer, nullptr);
  char name[] = "\xE9quipe";  // an ANSI character beyond ASCII
  ASSERT_EQ(SetPrinterDataA(printer, const_cast<char*>("SubKey"), REG_SZ, reinterpret_cast<LPBYTE>(name), 7),
            DWORD(ERROR_SUCCESS));
  char out[16] = {};
  DWORD type = 0, needed = 0;
  EXPECT_EQ(GetPrinterDataA(printer, const_cast<char*>("SubKey"), &type, reinterpret_cast<LPBYTE>(out), 6, &needed),
            DWORD(ERROR_MORE_DATA));
  EXPECT_EQ(needed, 7u);
  EXPECT_EQ(out[0], 0) << "a buffer that is too small is left alone";
  EXPECT_EQ(GetPrinterDataA(printer, const_cast<char*>("subkey"), &type, reinterpret_cast<LPBYTE>(out), 7, &needed),
            DWORD(ERROR_SUCCESS));
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_STREQ(out, name);
  EXPECT_EQ(test::PrinterString("Lumascribe", "PrinterDriverData", "SubKey"), name) << "the plain calls' key";
  EXPECT_EQ(GetPrinterDataExA(printer, "PrinterDriverData", "SubKey", &type, reinterpret_cast<LPBYTE>(out), 16,
                              &needed),
            DWORD(ERROR_SUCCESS));
  EXPECT_EQ(GetPrinterDataExA(printer, "DsUser", "SubKey", &type, reinterpret_cast<LPBYTE>(out), 16, &needed),
            DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetPrinterDataExA(printer, "PrinterDriverData", "Other", &type, reinterpret_cast<LPBYTE>(out), 16,
                              &needed),
            DWORD(ERROR_FILE_NOT_FOUND));
  BYTE binary[] = {1, 2, 3};
  ASSERT_EQ(SetPrinterDataExA(printer, "DsUser", "Blob", REG_BINARY, binary, 3), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(GetPrinterDataExA(printer, "DsUser", "Blob", &type, reinterpret_cast<LPBYTE>(out), 16, &needed),
            DWORD(ERROR_SUCCESS));
  EXPECT_EQ(needed, 3u) << "other types are kept byte for byte";
  EXPECT_EQ(type, DWORD(REG_BINARY));
  ClosePrinter(printer);
}

TEST_F(WinsimPrinterDataTest, WritingNeedsAnAdministeringHandle) {
  test::AddProductPrinter("Reader", "key");
  HANDLE printer = Open("Reader", PRINTER_ACCESS_USE);
  BYTE data[] = "other";
  EXPECT_EQ(SetPrinterDataExA(printer, "DsUser", "SubKey", REG_SZ, data, 6), DWORD(ERROR_ACCESS_DENIED));
  char out[8] = {};
  DWORD type = 0, needed = 0;
  EXPECT_EQ(GetPrinterDataA(printer, const_cast<char*>("SubKey"), &type, reinterpret_cast<LPBYTE>(out), 8, &needed),
            DWORD(ERROR_SUCCESS));
  EXPECT_STREQ(out, "key");
  ClosePrinter(printer);
  EXPECT_EQ(GetPrinterDataA(printer, const_cast<char*>("SubKey"), &type, reinterpret_cast<LPBYTE>(out), 8, &needed),
            DWORD(ERROR_INVALID_HANDLE)) << "the error is the result, not the last error";
}

TEST_F(WinsimPrinterDataTest, DataAndJobsAreSavedWithTheMachine) {
  winsim::Printer& saved = test::AddProductPrinter("Saved", "settings-1");
  saved.cJobs = 2;
  test::SetPrinterString(saved, "DsUser", "SubKey", "settings-1");
  ASSERT_TRUE(winsim::SaveMachine(root_));
  M().spooler.printers.clear();
  ASSERT_TRUE(winsim::LoadMachine(root_));
  winsim::Printer* loaded = winsim::FindPrinter("Saved");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->cJobs, 2u);
  EXPECT_EQ(test::PrinterString("Saved", "PrinterDriverData", "SubKey"), "settings-1");
  EXPECT_EQ(test::PrinterString("Saved", "dsuser", "SubKey"), "settings-1");
}

}  // namespace
