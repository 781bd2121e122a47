// GetPrinterDriverW: an open printer's driver as one environment has it installed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/product_printers.h"
#include "support/sim.h"

using test::AddFault;
using test::Spooler;
using test::U16;
using test::U8;
using winsim::M;

namespace {

const std::string kX64 = "C:\\Windows\\system32\\spool\\DRIVERS\\x64";
const std::string kStage = "C:\\stage";

class WinsimPrinterDriverTest : public test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    for (const char* name : {"lmsdrv64.dll", "lmsui64.dll", "lmshelp.chm"})
      winsim::WriteMachineFile(kStage + "\\" + name, name);
    ASSERT_TRUE(Install(u"Windows x64"));
    test::AddProductPrinter("Lumascribe");
    ASSERT_TRUE(OpenPrinterW(name_.data(), &printer_, nullptr));
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    SimTest::TearDown();
  }
  static BOOL Install(const char16_t* environment) {
    std::u16string driver = U16(kStage + "\\lmsdrv64.dll"), ui = U16(kStage + "\\lmsui64.dll"),
                   help = U16(kStage + "\\lmshelp.chm"), env = environment, name = u"Lumascribe Server";
    DRIVER_INFO_3W info = {};
    info.cVersion = 3;
    info.pName = name.data();
    info.pEnvironment = env.data();
    info.pDriverPath = driver.data();
    info.pDataFile = driver.data();
    info.pConfigFile = ui.data();
    info.pHelpFile = help.data();
    return AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES);
  }
  BOOL Get(const char16_t* environment, DWORD level, LPBYTE buffer, DWORD size, DWORD* needed) {
    std::u16string env = environment ? environment : u"";
    return GetPrinterDriverW(printer_, environment ? env.data() : nullptr, level, buffer, size, needed);
  }
  DWORD Needed(const char16_t* environment, DWORD level) {
    DWORD needed = 0;
    EXPECT_FALSE(Get(environment, level, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    return needed;
  }
  std::u16string name_ = u"Lumascribe";
  HANDLE printer_ = nullptr;
};

TEST_F(WinsimPrinterDriverTest, TwoCallSizingGivesTheLevel2RecordWithItsStringsBehindIt) {
  DWORD needed = Needed(u"Windows x64", 2);
  ASSERT_GT(needed, sizeof(DRIVER_INFO_2W));
  std::vector<BYTE> buffer(needed + 1, 0xCC);
  DWORD reported = 0;
  ASSERT_TRUE(Get(nullptr, 2, buffer.data(), needed + 1, &reported));
  EXPECT_EQ(reported, needed) << "the needed size, not the buffer's";
  const auto* info = reinterpret_cast<const DRIVER_INFO_2W*>(buffer.data());
  EXPECT_EQ(info->cVersion, 3u);
  EXPECT_EQ(U8(info->pName), "Lumascribe Server");
  EXPECT_EQ(U8(info->pEnvironment), "Windows x64");
  EXPECT_EQ(U8(info->pDriverPath), kX64 + "\\3\\lmsdrv64.dll");
  EXPECT_EQ(U8(info->pConfigFile), kX64 + "\\3\\lmsui64.dll");
  for (const WCHAR* text : {info->pName, info->pEnvironment, info->pDriverPath, info->pDataFile, info->pConfigFile}) {
    const BYTE* at = reinterpret_cast<const BYTE*>(text);
    EXPECT_GE(at, buffer.data() + sizeof(DRIVER_INFO_2W)) << "strings lie behind the record";
    EXPECT_LT(at, buffer.data() + needed + 1);
  }
}

TEST_F(WinsimPrinterDriverTest, ABufferOneByteShortFailsAndIsCleared) {
  DWORD needed = Needed(nullptr, 2);
  std::vector<BYTE> buffer(needed, 0xCC);
  DWORD reported = 0;
  EXPECT_FALSE(Get(nullptr, 2, buffer.data(), needed - 1, &reported));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(reported, needed);
  for (DWORD i = 0; i < needed - 1; ++i) ASSERT_EQ(buffer[i], 0) << "byte " << i;
  EXPECT_EQ(buffer[needed - 1], 0xCC) << "nothing past the size given";
  EXPECT_TRUE(Get(nullptr, 2, buffer.data(), needed, &reported));
}

TEST_F(WinsimPrinterDriverTest, EveryLevelFromOneToSixAndNoOther) {
  for (DWORD level = 1; level <= 6; ++level) {
    std::vector<BYTE> buffer(Needed(nullptr, level));
    DWORD needed = 0;
    ASSERT_TRUE(Get(nullptr, level, buffer.data(), DWORD(buffer.size()), &needed)) << level;
    const WCHAR* name = level == 1 ? reinterpret_cast<DRIVER_INFO_1W*>(buffer.data())->pName
                                   : reinterpret_cast<DRIVER_INFO_2W*>(buffer.data())->pName;
    EXPECT_EQ(U8(name), "Lumascribe Server") << level;
  }
  std::vector<BYTE> buffer(4096);
  DWORD needed = 0;
  ASSERT_TRUE(Get(nullptr, 3, buffer.data(), 4096, &needed));
  EXPECT_EQ(U8(reinterpret_cast<DRIVER_INFO_3W*>(buffer.data())->pHelpFile), kX64 + "\\3\\lmshelp.chm");
  for (DWORD level : {0u, 7u, 8u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(Get(nullptr, level, buffer.data(), 4096, &needed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL)) << level;
  }
  EXPECT_FALSE(Get(nullptr, 2, buffer.data(), 4096, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(RPC_X_NULL_REF_POINTER));
}

TEST_F(WinsimPrinterDriverTest, TheEnvironmentChoosesTheInstalledDriver) {
  EXPECT_EQ(Needed(nullptr, 2), Needed(u"", 2));
  EXPECT_EQ(Needed(nullptr, 2), Needed(u"windows X64", 2)) << "names compare without case";
  DWORD needed = 0;
  EXPECT_FALSE(Get(u"Windows NT x86", 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER)) << "not installed for x86";
  EXPECT_FALSE(Get(u"Windows 4.0", 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT));

  ASSERT_TRUE(Install(u"Windows NT x86"));
  std::vector<BYTE> buffer(Needed(u"Windows NT x86", 2));
  ASSERT_TRUE(Get(u"Windows NT x86", 2, buffer.data(), DWORD(buffer.size()), &needed));
  EXPECT_EQ(U8(reinterpret_cast<DRIVER_INFO_2W*>(buffer.data())->pEnvironment), "Windows NT x86");
}

TEST_F(WinsimPrinterDriverTest, APrinterWhoseDriverIsGoneHasNone) {
  M().drivers.installed.pop_back();
  DWORD needed = 0;
  EXPECT_FALSE(Get(nullptr, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER));
}

TEST_F(WinsimPrinterDriverTest, HandlesThatNameNoPrinterAreInvalid) {
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterDriverW(nullptr, nullptr, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  HANDLE server = nullptr;
  ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
  EXPECT_FALSE(GetPrinterDriverW(server, nullptr, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE)) << "the print server has no driver";
  ClosePrinter(server);

  Spooler().state = SERVICE_STOPPED;
  EXPECT_FALSE(Get(nullptr, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
  Spooler().state = SERVICE_RUNNING;
  ++Spooler().starts;
  EXPECT_FALSE(Get(nullptr, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE)) << "issued by the spooler process that ended";
  ClosePrinter(printer_);
  printer_ = nullptr;
}

TEST_F(WinsimPrinterDriverTest, FaultsAndTraceNameThePrinter) {
  AddFault("GetPrinterDriverW", ERROR_ACCESS_DENIED, "Lumascribe");
  DWORD needed = 0;
  EXPECT_FALSE(Get(u"Windows x64", 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  ASSERT_EQ(test::Calls("GetPrinterDriverW").size(), 1u);
  EXPECT_EQ(test::Calls("GetPrinterDriverW")[0].detail, "Lumascribe Windows x64 2 0");
}

}  // namespace
