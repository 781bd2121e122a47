#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/sim.h"

using test::U16;
using test::U8;
using winsim::M;

namespace {

class WinsimPrintersTest : public test::SimTest {
 protected:
  static DWORD SizeNeeded() {
    DWORD needed = 0, count = 7;
    EXPECT_FALSE(EnumPrintersW(6, nullptr, 2, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(count, 0u);
    return needed;
  }
};

TEST_F(WinsimPrintersTest, EnumerationPacksStringsBehindTheRecordsWithinTheSizeGiven) {
  winsim::Printer connection;
  connection.connection = true;
  connection.serverName = "\\\\print01";
  connection.printerName = "\\\\print01\\Laser";
  connection.attributes = PRINTER_ATTRIBUTE_NETWORK;
  M().spooler.printers.insert(M().spooler.printers.begin(), connection);
  DWORD needed = SizeNeeded();
  std::vector<BYTE> buffer(needed + 64, 0xAB);
  DWORD count = 0, again = 0;
  EXPECT_FALSE(EnumPrintersW(6, nullptr, 2, buffer.data(), needed - 1, &again, &count));
  EXPECT_EQ(again, needed);
  ASSERT_TRUE(EnumPrintersW(6, nullptr, 2, buffer.data(), needed, &again, &count));
  ASSERT_EQ(count, 4u);
  for (size_t i = needed; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xAB) << "wrote past the size at " << i;
  auto* records = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
  const BYTE* stringsStart = buffer.data() + 4 * sizeof(PRINTER_INFO_2W);
  for (DWORD i = 0; i < count; ++i)
    for (LPWSTR text : {records[i].pPrinterName, records[i].pPortName, records[i].pDatatype}) {
      const BYTE* at = reinterpret_cast<const BYTE*>(text);
      EXPECT_TRUE(at >= stringsStart && at < buffer.data() + needed);
    }
  EXPECT_EQ(records[0].pServerName, nullptr) << "local printers first";
  EXPECT_EQ(U8(records[3].pServerName), "\\\\print01");
  EXPECT_EQ(U8(records[0].pPrinterName), "Microsoft Print to PDF");
  EXPECT_EQ(U8(records[0].pPrintProcessor), "winprint");
  EXPECT_EQ(U8(records[0].pShareName), "");

  ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_CONNECTIONS, nullptr, 2, buffer.data(), needed, &again, &count));
  EXPECT_EQ(count, 1u);
}

TEST_F(WinsimPrintersTest, NoPrintersIsASuccessWithNothing) {
  M().spooler.printers.clear();
  DWORD needed = 5, count = 5;
  SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_TRUE(EnumPrintersW(6, nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_FALSE(EnumPrintersW(6, nullptr, 1, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
}

TEST_F(WinsimPrintersTest, OpeningChecksNamesAndAccess) {
  HANDLE printer = nullptr;
  std::u16string upper = U16("FAX"), empty, unknown = U16("Nowhere");
  EXPECT_FALSE(OpenPrinterW(unknown.data(), &printer, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
  EXPECT_FALSE(OpenPrinterW(empty.data(), &printer, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
  EXPECT_FALSE(OpenPrinterW(upper.data(), nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  PRINTER_DEFAULTSW everything = {nullptr, nullptr, 0xFFFFFFFF};
  EXPECT_FALSE(OpenPrinterW(nullptr, &printer, &everything));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));

  PRINTER_DEFAULTSW readOnly = {nullptr, nullptr, READ_CONTROL};
  ASSERT_TRUE(OpenPrinterW(upper.data(), &printer, &readOnly)) << "names compare without case";
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(printer, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(ClosePrinter(printer));
  EXPECT_FALSE(ClosePrinter(printer));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(ClosePrinter(nullptr));
}

TEST_F(WinsimPrintersTest, GetPrinterUsesTheSizingProtocol) {
  std::u16string fax = U16("Fax");
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(fax.data(), &printer, nullptr));
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(printer, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetPrinterW(printer, 2, buffer.data(), needed, &needed));
  auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
  EXPECT_EQ(U8(info->pPortName), "SHRFAX:");
  EXPECT_EQ(info->Attributes & PRINTER_ATTRIBUTE_FAX, DWORD(PRINTER_ATTRIBUTE_FAX));
  EXPECT_FALSE(GetPrinterW(printer, 4, buffer.data(), needed, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  ClosePrinter(printer);
}

TEST_F(WinsimPrintersTest, DefaultPrinterNameWithItsTerminatorCounted) {
  WCHAR name[32];
  DWORD size = 22;  // "Microsoft Print to PDF" without room for the terminator
  EXPECT_FALSE(GetDefaultPrinterW(name, &size));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, 23u);
  ASSERT_TRUE(GetDefaultPrinterW(name, &size));
  EXPECT_EQ(U8(name), "Microsoft Print to PDF");
  EXPECT_FALSE(GetDefaultPrinterW(name, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  M().spooler.defaultPrinter.clear();
  EXPECT_FALSE(GetDefaultPrinterW(name, &size));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(WinsimPrintersTest, SettingTheDefaultPrinter) {
  EXPECT_FALSE(SetDefaultPrinterW(u"Nowhere"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
  ASSERT_TRUE(SetDefaultPrinterW(u"fax"));
  EXPECT_EQ(M().spooler.defaultPrinter, "Fax") << "the printer's own name is kept";
  ASSERT_TRUE(SetDefaultPrinterW(nullptr));
  EXPECT_EQ(M().spooler.defaultPrinter, "Fax") << "no name keeps a default";
  M().spooler.defaultPrinter.clear();
  ASSERT_TRUE(SetDefaultPrinterW(u""));
  EXPECT_EQ(M().spooler.defaultPrinter, "Microsoft Print to PDF") << "or picks the first printer";
  M().spooler.printers.clear();
  M().spooler.defaultPrinter.clear();
  EXPECT_FALSE(SetDefaultPrinterW(nullptr));
}

}  // namespace
