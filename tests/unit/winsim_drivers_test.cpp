#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/sim.h"
#include "support/tool_runs.h"

using test::AddFault;
using test::Spooler;
using test::U16;
using test::U8;
using winsim::M;
using winsim::MachineFileExists;

namespace {

const std::string kX64 = "C:\\Windows\\system32\\spool\\DRIVERS\\x64";
const std::string kX86 = "C:\\Windows\\system32\\spool\\DRIVERS\\W32X86";

class WinsimDriversTest : public test::SimTest {
 protected:
  // The drivers of `environment` at `level`, through the two-call protocol.
  static std::vector<BYTE> Enumerate(const char16_t* environment, DWORD level, DWORD* count) {
    DWORD needed = 0;
    *count = 9;
    std::u16string env = environment ? environment : u"";
    LPWSTR name = environment ? env.data() : nullptr;
    EXPECT_FALSE(EnumPrinterDriversW(nullptr, name, level, nullptr, 0, &needed, count));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(*count, 0u);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(EnumPrinterDriversW(nullptr, name, level, buffer.data(), needed, &needed, count));
    return buffer;
  }
  // Stages the product's driver files in `dir` and installs them as "Lumascribe Server".
  static BOOL Install(const std::string& dir, const char16_t* environment, const std::string& payload = "v1") {
    for (const char* name : {"lmsdrv64.dll", "lmsui64.dll", "lmshelp.chm"})
      winsim::WriteMachineFile(dir + "\\" + name, payload + name);
    std::u16string driver = U16(dir + "\\lmsdrv64.dll"), ui = U16(dir + "\\lmsui64.dll"),
                   help = U16(dir + "\\lmshelp.chm"), env = environment, name = u"Lumascribe Server",
                   maker = u"Veldrin Software Kft.";
    DRIVER_INFO_6W info = {};
    info.cVersion = 3;
    info.pName = name.data();
    info.pEnvironment = env.data();
    info.pDriverPath = driver.data();
    info.pDataFile = driver.data();
    info.pConfigFile = ui.data();
    info.pHelpFile = help.data();
    info.pszMfgName = maker.data();
    info.dwlDriverVersion = 0x0001000000000009ull;
    return AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES);
  }
  static BOOL Delete(const char16_t* environment, const char16_t* name, DWORD flags, DWORD version = 0) {
    std::u16string env = environment, driver = name;
    return DeletePrinterDriverExW(nullptr, env.data(), driver.data(), flags, version);
  }
  static const winsim::PrinterDriver* Installed(const std::string& name, const std::string& env) {
    for (const winsim::PrinterDriver& d : M().drivers.installed)
      if (d.name == name && d.environment == env) return &d;
    return nullptr;
  }
  static bool DeleteFile(const std::string& path) { return DeleteFileW(U16(path).c_str()); }
  static void StopSpooler() {
    Spooler().state = SERVICE_STOPPED;
  }
  static void RestartSpoolerProcess() {
    Spooler().state = SERVICE_RUNNING;
    ++Spooler().starts;
  }
};

// --- enumeration ---

TEST_F(WinsimDriversTest, RecordsHaveTheirX64SizesAndStringsFollowThemInsideTheBuffer) {
  const DWORD sizes[] = {0, 8, 48, 80, 88, 64, 136};
  for (DWORD level = 1; level <= 6; ++level) {
    SCOPED_TRACE(level);
    DWORD count = 0;
    std::vector<BYTE> buffer = Enumerate(u"Windows x64", level, &count);
    ASSERT_EQ(count, 3u);
    const BYTE* strings = buffer.data() + 3 * sizes[level];
    for (DWORD i = 0; i < count; ++i) {
      const BYTE* record = buffer.data() + i * sizes[level];
      // pName is the first field at level 1 and follows cVersion at every other level.
      LPWSTR name = *reinterpret_cast<const LPWSTR*>(record + (level == 1 ? 0 : 8));
      const BYTE* at = reinterpret_cast<const BYTE*>(name);
      EXPECT_TRUE(at >= strings && at < buffer.data() + buffer.size());
      if (level > 1) {
        EXPECT_EQ(*reinterpret_cast<const DWORD*>(record), i < 2 ? 4u : 3u) << "cVersion";
      }
    }
    EXPECT_EQ(U8(*reinterpret_cast<const LPWSTR*>(buffer.data() + 2 * sizes[level] + (level == 1 ? 0 : 8))),
              "Microsoft Shared Fax Driver");
  }
}

TEST_F(WinsimDriversTest, SizingProtocolNeverWritesPastTheSizeGiven) {
  DWORD needed = 0, count = 0;
  EXPECT_FALSE(EnumPrinterDriversW(nullptr, nullptr, 6, nullptr, 0, &needed, &count));
  std::vector<BYTE> buffer(needed + 32, 0xCD);
  DWORD again = 0;
  EXPECT_FALSE(EnumPrinterDriversW(nullptr, nullptr, 6, buffer.data(), needed - 1, &again, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(again, needed);
  ASSERT_TRUE(EnumPrinterDriversW(nullptr, nullptr, 6, buffer.data(), needed + 1, &again, &count));
  EXPECT_EQ(again, needed) << "the needed size, not the buffer's";
  for (size_t i = needed + 1; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xCD) << i;
  auto* records = reinterpret_cast<DRIVER_INFO_6W*>(buffer.data());
  EXPECT_EQ(U8(records[0].pEnvironment), "Windows x64");
  EXPECT_EQ(U8(records[2].pDriverPath), kX64 + "\\3\\FXSDRV.DLL");
  EXPECT_EQ(U8(records[0].pDependentFiles), kX64 + "\\4\\MPDW-manifest.ini");
  EXPECT_EQ(U8(records[0].pDependentFiles + U8(records[0].pDependentFiles).size() + 1),
            kX64 + "\\4\\MPDW-constraints.js");
  EXPECT_EQ(records[0].pHelpFile, nullptr);
  EXPECT_EQ(records[0].pszzPreviousNames, nullptr);
  EXPECT_EQ(U8(records[1].pszProvider), "Microsoft");
}

TEST_F(WinsimDriversTest, EnvironmentsLevelsAndAStoppedSpooler) {
  DWORD needed = 5, count = 5;
  std::u16string odd = u"wINDOWS nt X86", bad = u"Windows IA64", empty = u"";
  EXPECT_TRUE(EnumPrinterDriversW(nullptr, odd.data(), 6, nullptr, 0, &needed, &count)) << "no x86 drivers";
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(EnumPrinterDriversW(nullptr, empty.data(), 6, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER)) << "\"\" is the machine's own";
  EXPECT_FALSE(EnumPrinterDriversW(nullptr, bad.data(), 6, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT));
  for (DWORD level : {0u, 7u}) {
    EXPECT_FALSE(EnumPrinterDriversW(nullptr, nullptr, level, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  }
  StopSpooler();
  EXPECT_FALSE(EnumPrinterDriversW(nullptr, nullptr, 6, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_FALSE(Install(kX64, u"Windows x64"));
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_FALSE(Delete(u"Windows x64", u"Microsoft Shared Fax Driver", 0));
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
}

// --- installation ---

TEST_F(WinsimDriversTest, InstallCopiesTheFilesUnderThreeAndRecordsThem) {
  ASSERT_TRUE(Install(kX86, u"windows nt x86"));
  const winsim::PrinterDriver* d = Installed("Lumascribe Server", "Windows NT x86");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->driverPath, kX86 + "\\3\\lmsdrv64.dll");
  EXPECT_EQ(d->dataFile, d->driverPath);
  EXPECT_EQ(d->configFile, kX86 + "\\3\\lmsui64.dll");
  EXPECT_EQ(d->helpFile, kX86 + "\\3\\lmshelp.chm");
  EXPECT_EQ(d->driverVersion, 0x0001000000000009ull);
  std::string copy;
  ASSERT_TRUE(winsim::ReadMachineFile(d->configFile, &copy));
  EXPECT_EQ(copy, "v1lmsui64.dll");
  EXPECT_TRUE(MachineFileExists(kX86 + "\\lmsui64.dll")) << "the sources stay";
  // Nothing of another CPU is loaded by this spooler: the staged and installed copies can go.
  EXPECT_TRUE(DeleteFile(kX86 + "\\lmsdrv64.dll"));
  EXPECT_TRUE(DeleteFile(d->helpFile));
}

TEST_F(WinsimDriversTest, InstallWithAMissingFileChangesNothing) {
  winsim::WriteMachineFile(kX64 + "\\lmsdrv64.dll", "x");
  std::u16string driver = U16(kX64 + "\\lmsdrv64.dll"), ui = u"lmsui64.dll", name = u"Lumascribe Server";
  DRIVER_INFO_3W info = {};
  info.pName = name.data();
  info.pDriverPath = driver.data();
  info.pDataFile = driver.data();
  info.pConfigFile = ui.data();  // a bare name lies in the driver directory, and is missing there
  EXPECT_FALSE(AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(MachineFileExists(kX64 + "\\3\\lmsdrv64.dll"));
  EXPECT_EQ(Installed("Lumascribe Server", "Windows x64"), nullptr);
  EXPECT_FALSE(AddPrinterDriverExW(nullptr, 5, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  std::u16string bad = u"Windows ARM64";
  info.pEnvironment = bad.data();
  EXPECT_FALSE(AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT));
}

TEST_F(WinsimDriversTest, TheRunningSpoolerHoldsTheFilesOfItsOwnEnvironmentsDrivers) {
  ASSERT_TRUE(Install(kX64, u"Windows x64"));
  const std::string installed = kX64 + "\\3\\lmsdrv64.dll";
  EXPECT_FALSE(DeleteFile(installed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(DeleteFile(kX64 + "\\3\\lmshelp.chm")) << "a help file is never loaded";
  EXPECT_FALSE(DeleteFile(kX64 + "\\4\\PrintConfig.dll")) << "inbox drivers are loaded too";
  EXPECT_TRUE(DeleteFile(kX64 + "\\lmsdrv64.dll")) << "the staged copy is not the spooler's";
  StopSpooler();
  EXPECT_TRUE(DeleteFile(installed)) << "a stopped spooler holds nothing";
}

TEST_F(WinsimDriversTest, UpgradingALoadedDriverMovesItsOldFilesAsideUntilTheSpoolerEnds) {
  ASSERT_TRUE(Install(kX64, u"Windows x64", "v1"));
  ASSERT_TRUE(Install(kX64, u"Windows x64", "v2"));
  const winsim::PrinterDriver* d = Installed("Lumascribe Server", "Windows x64");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->upgrades, 1u);
  EXPECT_EQ(std::count_if(M().drivers.installed.begin(), M().drivers.installed.end(),
                          [](const winsim::PrinterDriver& x) { return x.name == "Lumascribe Server"; }),
            1) << "replaced, not added";
  std::string bytes;
  ASSERT_TRUE(winsim::ReadMachineFile(kX64 + "\\3\\lmsdrv64.dll", &bytes));
  EXPECT_EQ(bytes, "v2lmsdrv64.dll");
  const std::string old = kX64 + "\\3\\Old\\1\\lmsdrv64.dll";
  ASSERT_TRUE(winsim::ReadMachineFile(old, &bytes));
  EXPECT_EQ(bytes, "v1lmsdrv64.dll");
  EXPECT_FALSE(MachineFileExists(kX64 + "\\3\\Old\\1\\lmshelp.chm")) << "help files are not loaded";
  EXPECT_FALSE(DeleteFile(old));
  // DRIVER_INFO_5W counts the upgrades of the files.
  DWORD count = 0;
  std::vector<BYTE> buffer = Enumerate(nullptr, 5, &count);
  auto* records = reinterpret_cast<DRIVER_INFO_5W*>(buffer.data());
  EXPECT_EQ(records[3].dwDriverVersion, 1u);
  EXPECT_EQ(records[0].dwConfigVersion, 0u);
  StopSpooler();
  RestartSpoolerProcess();
  EXPECT_TRUE(DeleteFile(old)) << "the new spooler process never loaded it";
  EXPECT_FALSE(DeleteFile(kX64 + "\\3\\lmsdrv64.dll"));
}

TEST_F(WinsimDriversTest, ATargetOpenInAnotherProgramRefusesTheInstall) {
  ASSERT_TRUE(Install(kX86, u"Windows NT x86", "v1"));
  winsim::HoldFile(kX86 + "\\3\\lmsui64.dll", "editor", UINT64_MAX, ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(Install(kX86, u"Windows NT x86", "v2"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  std::string bytes;
  ASSERT_TRUE(winsim::ReadMachineFile(kX86 + "\\3\\lmsdrv64.dll", &bytes));
  EXPECT_EQ(bytes, "v1lmsdrv64.dll") << "no file was replaced";
}

// --- removal ---

TEST_F(WinsimDriversTest, RemovalRefusals) {
  EXPECT_FALSE(Delete(u"Windows x64", u"Lumascribe Server", DPD_DELETE_ALL_FILES));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER));
  EXPECT_FALSE(Delete(u"Windows x64", u"microsoft shared fax driver", DPD_DELETE_ALL_FILES));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINTER_DRIVER_IN_USE)) << "the printer \"Fax\" uses it";
  EXPECT_FALSE(Delete(u"Windows 4.0", u"Microsoft Shared Fax Driver", 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT));
  M().spooler.printers.clear();
  EXPECT_FALSE(Delete(u"Windows x64", u"Microsoft Print To PDF", DPD_DELETE_ALL_FILES));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINTER_DRIVER_IN_USE)) << "its files serve the XPS driver too";
  EXPECT_NE(Installed("Microsoft Print To PDF", "Windows x64"), nullptr);
  EXPECT_FALSE(Delete(u"Windows x64", u"Microsoft Shared Fax Driver", DPD_DELETE_SPECIFIC_VERSION, 4));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER)) << "no version 4 of it";
}

TEST_F(WinsimDriversTest, RemovalWithUnusedFilesKeepsTheSharedOnes) {
  M().spooler.printers.clear();
  ASSERT_TRUE(Delete(u"", u"Microsoft Print To PDF", DPD_DELETE_UNUSED_FILES));
  EXPECT_EQ(Installed("Microsoft Print To PDF", "Windows x64"), nullptr);
  EXPECT_TRUE(MachineFileExists(kX64 + "\\4\\mxdwdrv.dll"));
  EXPECT_FALSE(MachineFileExists(kX64 + "\\4\\MPDW-PDC.xml"));
  EXPECT_TRUE(MachineFileExists(kX64 + "\\4\\Old\\1\\MPDW-PDC.xml")) << "it was loaded: moved aside";
}

TEST_F(WinsimDriversTest, RemovalWithAllFilesOfEveryVersion) {
  ASSERT_TRUE(Install(kX86, u"Windows NT x86"));
  ASSERT_TRUE(Install(kX64, u"Windows x64"));
  winsim::Printer printer;
  printer.printerName = "lumServer";
  printer.driverName = "Lumascribe Server";
  M().spooler.printers.push_back(printer);
  ASSERT_TRUE(Delete(u"Windows NT x86", u"Lumascribe Server", DPD_DELETE_ALL_FILES, 0))
      << "the machine's printers use the x64 driver only";
  for (const char* name : {"lmsdrv64.dll", "lmsui64.dll", "lmshelp.chm"})
    EXPECT_FALSE(MachineFileExists(kX86 + "\\3\\" + name)) << name;
  EXPECT_FALSE(MachineFileExists(kX86 + "\\3\\Old\\1\\lmsdrv64.dll")) << "not loaded: deleted at once";
  EXPECT_TRUE(MachineFileExists(kX86 + "\\lmsdrv64.dll")) << "files outside the driver's record stay";

  M().spooler.printers.pop_back();
  ASSERT_TRUE(Delete(u"Windows x64", u"Lumascribe Server", DPD_DELETE_ALL_FILES, 0));
  EXPECT_EQ(Installed("Lumascribe Server", "Windows x64"), nullptr);
  EXPECT_FALSE(MachineFileExists(kX64 + "\\3\\lmsdrv64.dll"));
  EXPECT_FALSE(MachineFileExists(kX64 + "\\3\\lmshelp.chm"));
  EXPECT_FALSE(DeleteFile(kX64 + "\\3\\Old\\1\\lmsdrv64.dll")) << "loaded: the process keeps it";
  // The loaded files wait in the boot's queue, as the spooler's own entries.
  EXPECT_EQ(test::PendingRenames(),
            (std::vector<std::string>{"\\??\\" + kX64 + "\\3\\Old\\1\\lmsdrv64.dll", "",
                                      "\\??\\" + kX64 + "\\3\\Old\\1\\lmsui64.dll", ""}));
  StopSpooler();
  EXPECT_TRUE(DeleteFile(kX64 + "\\3\\Old\\1\\lmsdrv64.dll"));
  winsim::Reboot();
  EXPECT_FALSE(MachineFileExists(kX64 + "\\3\\Old\\1\\lmsui64.dll")) << "the restart deleted it";
  EXPECT_TRUE(test::PendingRenames().empty());
}

TEST_F(WinsimDriversTest, InstallCopiesOnlyWhatFitsOnTheDisk) {
  // Three files of 14, 13 and 13 bytes ("v1" and the name).
  M().files.freeBytes = 39;
  EXPECT_FALSE(Install(kX64, u"Windows x64"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
  EXPECT_FALSE(MachineFileExists(kX64 + "\\3\\lmsdrv64.dll")) << "nothing is copied";
  EXPECT_EQ(Installed("Lumascribe Server", "Windows x64"), nullptr);
  M().files.freeBytes = 40;
  ASSERT_TRUE(Install(kX64, u"Windows x64"));
  EXPECT_EQ(M().files.freeBytes, 0u) << "the copies used the space";
}

TEST_F(WinsimDriversTest, DriversSurviveASaveAndLoad) {
  ASSERT_TRUE(Install(kX64, u"Windows x64", "v1"));
  ASSERT_TRUE(Install(kX64, u"Windows x64", "v2"));
  ASSERT_TRUE(winsim::SaveMachine(root_));
  M().drivers = winsim::DriverState();
  ASSERT_TRUE(winsim::LoadMachine(root_));
  const winsim::PrinterDriver* d = Installed("Lumascribe Server", "Windows x64");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->mfgName, "Veldrin Software Kft.");
  EXPECT_EQ(d->upgrades, 1u);
  EXPECT_EQ(M().drivers.installed.size(), 4u);
  ASSERT_EQ(M().drivers.moved.size(), 2u);
  EXPECT_FALSE(DeleteFile(M().drivers.moved[0].path)) << "the same spooler process still runs";
}

}  // namespace
