#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "probes/status_probes.h"
#include "support/product_printers.h"
#include "support/sim.h"
#include "winsim/version_files.h"

using namespace inst;
using test::AddFault;
using test::Spooler;
using test::U16;
using winsim::M;

namespace {

const std::string kTool = "C:\\Program Files\\Lumascribe\\install\\";
const std::string kSys = "C:\\Windows\\system32\\";
const std::string kDrivers = "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\";

class StatusProbesTest : public test::SimTest {
 protected:
  // The product driver for `environment`, its driver DLL of `build` (-1: without a version).
  // PendingFileRenameOperations as (source, target) strings; "" for a deletion's target.
  static void Pending(const std::vector<std::string>& strings) {
    winsim::SetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, REG_MULTI_SZ,
                        winsim::RegMultiSzBytes(strings));
  }
  static void File(const std::string& path) { ASSERT_TRUE(winsim::WriteMachineFile(path, "x")); }
  static int Restarts() { return winsim::CountCalls("ControlService"); }
};

// --- ProbeDriverVersion ---

TEST_F(StatusProbesTest, DriverVersionNeedsAProductPrinter) {
  ASSERT_TRUE(test::InstallProductDriver(2501));
  test::AddProductPrinter("Other", "", "lumascribe server");  // a driver name that differs only in case is not the product's
  EXPECT_FALSE(ProbeDriverVersion());
  EXPECT_EQ(winsim::CountCalls("OpenPrinterW"), 0);
}

TEST_F(StatusProbesTest, DriverBuildsAfter2450AreCurrent) {
  test::AddProductPrinter("Lumascribe");
  const struct {
    int build;
    bool current;
  } cases[] = {{2450, false}, {2451, true}, {2501, true}, {0, false}, {65535, true}, {-1, false}};
  for (const auto& c : cases) {
    ASSERT_TRUE(test::InstallProductDriver(c.build));
    EXPECT_EQ(ProbeDriverVersion(), c.current) << c.build;
  }
  // The probe asks for the x64 driver, then fills its record with the process's own environment.
  std::vector<winsim::TraceEntry> calls = test::Calls("GetPrinterDriverW");
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0].detail, "Lumascribe Windows x64 2 0");
  EXPECT_EQ(calls[1].detail.substr(0, 14), "Lumascribe  2 ");
}

TEST_F(StatusProbesTest, OnlyTheFirstProductPrinterIsExamined) {
  ASSERT_TRUE(test::InstallProductDriver(2501));
  test::AddProductPrinter("First");
  test::AddProductPrinter("Second");
  EXPECT_TRUE(ProbeDriverVersion());
  ASSERT_EQ(test::Calls("OpenPrinterW").size(), 1u);
  EXPECT_EQ(test::Calls("OpenPrinterW")[0].detail, "First");

  AddFault("OpenPrinterW", ERROR_ACCESS_DENIED, "First");
  EXPECT_FALSE(ProbeDriverVersion()) << "the second printer is not tried";
  EXPECT_EQ(test::Calls("OpenPrinterW").size(), 2u);
}

TEST_F(StatusProbesTest, NoDriverRecordMeansNotCurrent) {
  test::AddProductPrinter("Lumascribe");
  ASSERT_TRUE(test::InstallProductDriver(2501, u"Windows NT x86"));
  EXPECT_FALSE(ProbeDriverVersion()) << "installed for x86 only";
  ASSERT_TRUE(test::InstallProductDriver(2501));
  EXPECT_TRUE(ProbeDriverVersion());

  AddFault("GetPrinterDriverW", ERROR_ACCESS_DENIED, "", 2, 2);
  EXPECT_FALSE(ProbeDriverVersion()) << "the filling call failed";
  M().faults.clear();
  AddFault("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, "", 1, 1);
  EXPECT_FALSE(ProbeDriverVersion()) << "no memory for the list";
  EXPECT_TRUE(ProbeDriverVersion());
}

TEST_F(StatusProbesTest, GetDriverInfo2SetsOutOfMemory) {
  test::AddProductPrinter("Lumascribe");
  ASSERT_TRUE(test::InstallProductDriver(2501));
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(U16("Lumascribe").data(), &printer, nullptr));
  AddFault("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(GetDriverInfo2(printer), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(E_OUTOFMEMORY));
  M().faults.clear();
  DRIVER_INFO_2W* info = GetDriverInfo2(printer);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(test::U8(info->pDriverPath), kDrivers + "lmsdrv64.dll");
  GlobalFree(info);
  ClosePrinterQuietly(printer);
  ClosePrinterQuietly(printer);  // a second close fails, unnoticed
}

TEST_F(StatusProbesTest, AStoppedSpoolerIsNotStartedByTheDriverProbe) {
  ASSERT_TRUE(test::InstallProductDriver(2501));
  test::AddProductPrinter("Lumascribe");
  Spooler().state = SERVICE_STOPPED;
  EXPECT_FALSE(ProbeDriverVersion());
  EXPECT_EQ(Spooler().state, DWORD(SERVICE_STOPPED));
  EXPECT_EQ(winsim::CountCalls("OpenSCManagerW"), 0);
}

// --- ProbePendingUpdate ---

TEST_F(StatusProbesTest, NoPendingValueLeavesTheSpoolerAlone) {
  EXPECT_FALSE(ProbePendingUpdate());
  EXPECT_EQ(winsim::CountCalls("OpenSCManagerW"), 0);
}

TEST_F(StatusProbesTest, AnUnlockedProductFileIsDeletedAndNoHit) {
  File(kSys + "lmsmon64.dll");
  Pending({"\\??\\" + kSys + "lmsmon64.dll", ""});
  EXPECT_FALSE(ProbePendingUpdate());
  EXPECT_FALSE(winsim::MachineFileExists(kSys + "lmsmon64.dll"));
  EXPECT_EQ(Restarts(), 0);
}

TEST_F(StatusProbesTest, AProductFileStillLoadedAfterTwoRestartsIsPending) {
  // The registered monitor's DLL: every spooler process loads it again.
  ASSERT_TRUE(winsim::WriteVersionedFile(kSys + "lmsmon64.dll", 1, 0, 0, 2501, "", {winsim::kMonitorEntry}));
  std::u16string name = u"LumascribeServer:", dll = u"lmsmon64.dll";
  MONITOR_INFO_2W info = {name.data(), nullptr, dll.data()};
  ASSERT_TRUE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)));
  Pending({"\\??\\" + kSys + "lmsmon64.dll", ""});
  uint32_t starts = Spooler().starts;
  EXPECT_TRUE(ProbePendingUpdate());
  EXPECT_EQ(Restarts(), 2);
  EXPECT_EQ(Spooler().starts, starts + 2);
  EXPECT_EQ(Spooler().state, DWORD(SERVICE_RUNNING));
  EXPECT_TRUE(winsim::MachineFileExists(kSys + "lmsmon64.dll"));
}

TEST_F(StatusProbesTest, AFileTheFirstRestartReleasesIsNoUpdate) {
  // A driver DLL the spooler replaced while it had it loaded: its process keeps it until it ends.
  const std::string old = kDrivers + "Old\\1\\lmsdrv64.dll";
  File(old);
  M().drivers.moved.push_back({old, Spooler().starts});
  Pending({"\\??\\" + old, ""});
  EXPECT_FALSE(ProbePendingUpdate());
  EXPECT_EQ(Restarts(), 1);
  EXPECT_FALSE(winsim::MachineFileExists(old));
  EXPECT_EQ(winsim::CountCalls("DeleteFileW"), 2) << "failed in the first try, done in the second";
}

TEST_F(StatusProbesTest, RenamesOfProductFilesCountWhateverTheCase) {
  File(kSys + "LMSDRV64.DLL");
  Pending({"\\??\\" + kSys + "LMSDRV64.DLL", "\\??\\" + kSys + "new.dll"});
  EXPECT_TRUE(ProbePendingUpdate()) << "a rename is never carried out, so it stays";
  EXPECT_EQ(Restarts(), 2);
  EXPECT_TRUE(winsim::MachineFileExists(kSys + "LMSDRV64.DLL"));
}

TEST_F(StatusProbesTest, AHitInTheLastPlaceOfALongListCounts) {
  std::vector<std::string> strings;
  for (int i = 0; i < 40; ++i) {
    strings.push_back("\\??\\C:\\gone\\f" + std::to_string(i) + ".tmp");
    strings.push_back(i % 2 ? "" : "\\??\\C:\\gone\\g.tmp");
  }
  File("C:\\elsewhere\\lmsui64.dll");
  strings.push_back("C:/elsewhere/lmsui64.dll");  // no NT prefix, forward slashes
  strings.push_back("C:\\elsewhere\\target.dll");
  Pending(strings);
  EXPECT_TRUE(ProbePendingUpdate());
}

TEST_F(StatusProbesTest, OnlyExistingSourcesNamedLikeX64ProductFilesAreHits) {
  for (const char* name : {"lmsdrv32.dll", "lmsmon32.dll", "lmsui32.dll", "xlmsdrv64.dll", "lmsdrv64.dll.bak"})
    File(kSys + name);
  ASSERT_TRUE(winsim::WriteMachineFile(kSys + "lmsui64.dll\\inside", "x"));  // a directory of that name
  Pending({"\\??\\" + kSys + "lmsdrv32.dll", "\\??\\" + kSys + "a",
           "\\??\\" + kSys + "lmsmon32.dll", "\\??\\" + kSys + "b",
           "\\??\\" + kSys + "lmsui32.dll", "\\??\\" + kSys + "c",
           "\\??\\" + kSys + "xlmsdrv64.dll", "\\??\\" + kSys + "d",
           "\\??\\" + kSys + "lmsdrv64.dll.bak", "\\??\\" + kSys + "e",
           "\\??\\" + kSys + "lmsui64.dll", "",
           "\\??\\" + kSys + "lmsmon64.dll", "",  // not there at all
           "\\??\\C:\\missing\\lmsdrv64.dll", "\\??\\" + kSys + "f"});
  EXPECT_FALSE(ProbePendingUpdate());
  EXPECT_EQ(Restarts(), 0);
}

TEST_F(StatusProbesTest, TheFileNamePartStartsAfterAColon) {
  File("C:\\lmsmon64.dll");
  Pending({"\\??\\C:lmsmon64.dll", "\\??\\C:x"});
  EXPECT_TRUE(ProbePendingUpdate());
}

TEST_F(StatusProbesTest, ASpoolerThatWillNotStopStillGetsTwoTries) {
  File(kSys + "lmsui64.dll");
  Pending({"\\??\\" + kSys + "lmsui64.dll", "\\??\\" + kSys + "x"});
  Spooler().stopDelayMs = -1;
  EXPECT_TRUE(ProbePendingUpdate());
  EXPECT_EQ(Restarts(), 2);
  M().trace.clear();
  AddFault("OpenSCManagerW", ERROR_ACCESS_DENIED);
  EXPECT_TRUE(ProbePendingUpdate());
  EXPECT_EQ(winsim::CountCalls("OpenSCManagerW"), 2);
  EXPECT_EQ(winsim::CountCalls("RegOpenKeyExA"), 2) << "the value is read afresh each try";
}

// --- ProbeDefaultPrinter ---

TEST_F(StatusProbesTest, ADefaultProductPrinterIsTheOnlyNo) {
  ASSERT_TRUE(test::InstallProductDriver(2501));
  test::AddProductPrinter("Lumascribe");
  EXPECT_TRUE(ProbeDefaultPrinter()) << "the default is Microsoft Print to PDF";
  M().spooler.defaultPrinter = "Lumascribe";
  EXPECT_FALSE(ProbeDefaultPrinter());
  M().spooler.defaultPrinter.clear();
  M().trace.clear();
  EXPECT_TRUE(ProbeDefaultPrinter());
  EXPECT_EQ(winsim::CountCalls("OpenPrinterW"), 0);
  ASSERT_EQ(test::Calls("GetDefaultPrinterW").size(), 1u);
  EXPECT_EQ(test::Calls("GetDefaultPrinterW")[0].detail, "260");
}

TEST_F(StatusProbesTest, ADefaultPrinterThatCannotBeReadCountsAsNotTheProducts) {
  test::AddProductPrinter("Lumascribe");
  M().spooler.defaultPrinter = "Lumascribe";
  AddFault("OpenPrinterW", ERROR_ACCESS_DENIED);
  EXPECT_TRUE(ProbeDefaultPrinter());
  M().faults.clear();
  AddFault("GetPrinterW", ERROR_ACCESS_DENIED);
  EXPECT_TRUE(ProbeDefaultPrinter());
  M().faults.clear();
  AddFault("GetDefaultPrinterW", ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(ProbeDefaultPrinter());
  M().faults.clear();
  // A name longer than the buffer does not fit: no default printer as far as the probe can tell.
  std::string longName(260, 'L');
  test::AddProductPrinter(longName);
  M().spooler.defaultPrinter = longName;
  EXPECT_TRUE(ProbeDefaultPrinter());
  M().spooler.defaultPrinter = longName.substr(0, 259);
  M().spooler.printers.back().printerName = longName.substr(0, 259);
  EXPECT_FALSE(ProbeDefaultPrinter()) << "259 characters and the terminator fit";
}

// --- SetProductPrinterDefault ---

TEST_F(StatusProbesTest, TheFirstProductPrinterBecomesTheDefault) {
  SetProductPrinterDefault();
  EXPECT_EQ(M().spooler.defaultPrinter, "Microsoft Print to PDF");
  EXPECT_EQ(winsim::CountCalls("SetDefaultPrinterW"), 0);

  test::AddProductPrinter("First");
  test::AddProductPrinter("Second");
  SetProductPrinterDefault();
  EXPECT_EQ(M().spooler.defaultPrinter, "First");
  AddFault("SetDefaultPrinterW", ERROR_ACCESS_DENIED);
  M().spooler.defaultPrinter = "Fax";
  SetProductPrinterDefault();
  EXPECT_EQ(M().spooler.defaultPrinter, "Fax") << "a refusal changes nothing else";
}

}  // namespace
