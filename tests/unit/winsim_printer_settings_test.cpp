#include <gtest/gtest.h>

#include "printers/printer_list.h"
#include "support/sim.h"

using test::Spooler;
using test::U16;
using test::U8;
using winsim::M;

namespace {

class WinsimPrinterSettingsTest : public test::SimTest {
 protected:
  void TearDown() override {
    if (info_) GlobalFree(info_);
    if (handle_) ClosePrinter(handle_);
    SimTest::TearDown();
  }
  // Opens "Fax" with `access` and reads its level-2 record.
  void Open(DWORD access = PRINTER_ALL_ACCESS) {
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
    std::u16string name = U16("Fax");
    ASSERT_TRUE(OpenPrinterW(name.data(), &handle_, &defaults));
    info_ = inst::GetPrinterInfo2(handle_);
    ASSERT_NE(info_, nullptr);
  }
  BOOL SetPort(const std::string& ports) {
    port_ = U16(ports);
    info_->pPortName = port_.data();
    return SetPrinterW(handle_, 2, reinterpret_cast<LPBYTE>(info_), 0);
  }
  static winsim::Printer& Fax() { return *winsim::FindPrinter("Fax"); }
  HANDLE handle_ = nullptr;
  PRINTER_INFO_2W* info_ = nullptr;
  std::u16string port_;
};

TEST_F(WinsimPrinterSettingsTest, APortMustBeProvidedByAMonitor) {
  Open();
  EXPECT_FALSE(SetPort("LumascribeServer:"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  EXPECT_EQ(Fax().portName, "SHRFAX:");
  EXPECT_TRUE(SetPort("file:")) << "the local ports are built in, in any letter case";
  EXPECT_EQ(Fax().portName, "file:") << "kept as the caller spelled it";
  EXPECT_FALSE(SetPort("LPT1:,LumascribeServer:"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT)) << "every port of a list must exist";
  EXPECT_FALSE(SetPort(""));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  EXPECT_TRUE(SetPort("LPT1:,COM2:"));
  EXPECT_EQ(Fax().portName, "LPT1:,COM2:");
  winsim::PortMonitor product{"LumascribeServer:", "Windows x64", "lmsmon64.dll", {"LumascribeServer:"}};
  M().monitors.monitors.push_back(product);
  EXPECT_TRUE(SetPort("LPT1:,LumascribeServer:"));
}

TEST_F(WinsimPrinterSettingsTest, TheWholeRecordIsWrittenAndTheSpoolersOwnFieldsStay) {
  Open();
  std::u16string comment = U16("second floor"), name = U16("Fax 2"), share = U16("fax2");
  info_->pComment = comment.data();
  info_->pPrinterName = name.data();
  info_->pShareName = share.data();
  info_->Attributes |= PRINTER_ATTRIBUTE_DEFAULT | PRINTER_ATTRIBUTE_SHARED;
  info_->Status = 0x80;
  ASSERT_TRUE(SetPort("COM1:"));
  EXPECT_EQ(winsim::FindPrinter("Fax"), nullptr);
  winsim::Printer* renamed = winsim::FindPrinter("Fax 2");
  ASSERT_NE(renamed, nullptr);
  EXPECT_EQ(renamed->comment, "second floor");
  EXPECT_EQ(renamed->portName, "COM1:");
  EXPECT_EQ(renamed->attributes & PRINTER_ATTRIBUTE_DEFAULT, 0u) << "the default is a per-user setting";
  EXPECT_NE(renamed->attributes & PRINTER_ATTRIBUTE_SHARED, 0u);
  EXPECT_NE(renamed->attributes & PRINTER_ATTRIBUTE_LOCAL, 0u);
  EXPECT_EQ(renamed->status, 0u);
  EXPECT_TRUE(SetPort("COM2:")) << "the handle follows the rename";
  std::u16string taken = U16("microsoft print to pdf");
  info_->pPrinterName = taken.data();
  EXPECT_FALSE(SetPort("COM3:"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINTER_ALREADY_EXISTS));
  EXPECT_EQ(renamed->portName, "COM2:") << "a refused call changes nothing";
}

TEST_F(WinsimPrinterSettingsTest, ChangingNeedsAdministerAccessAndARunningSpooler) {
  Open(PRINTER_ACCESS_USE);
  EXPECT_FALSE(SetPort("COM1:"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(SetPrinterW(handle_, 3, reinterpret_cast<LPBYTE>(info_), 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  EXPECT_FALSE(SetPrinterW(reinterpret_cast<HANDLE>(0x1234), 2, reinterpret_cast<LPBYTE>(info_), 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  Spooler().state = SERVICE_STOPPED;
  EXPECT_FALSE(SetPort("COM1:"));
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_EQ(Fax().portName, "SHRFAX:");
  Spooler().state = SERVICE_RUNNING;
  ClosePrinter(handle_);
  handle_ = nullptr;
  GlobalFree(info_);
  info_ = nullptr;
  Open(PRINTER_ALL_ACCESS);
  EXPECT_FALSE(SetPrinterW(handle_, 2, reinterpret_cast<LPBYTE>(info_), 1));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_COMMAND));
  EXPECT_TRUE(SetPort("COM1:"));
}

}  // namespace
