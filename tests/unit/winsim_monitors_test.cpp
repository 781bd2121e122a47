#include <gtest/gtest.h>

#include <vector>

#include "support/sim.h"
#include "winsim/version_files.h"

using test::Spooler;
using test::U16;
using test::U8;
using winsim::M;

namespace {

const char kSystemDll[] = "C:\\Windows\\system32\\lmsmon64.dll";

class WinsimMonitorsTest : public test::SimTest {
 protected:
  // Registers the product monitor with its DLL in the system directory.
  static BOOL AddProductMonitor(const char* environment = "Windows x64") {
    winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2501, "", {winsim::kMonitorEntry});
    return Add("LumascribeServer:", environment, "lmsmon64.dll");
  }
  static BOOL Add(const char* name, const char* environment, const char* dll) {
    std::u16string n = U16(name ? name : ""), e = U16(environment ? environment : ""), d = U16(dll ? dll : "");
    MONITOR_INFO_2W info = {name ? n.data() : nullptr, environment ? e.data() : nullptr,
                            dll ? d.data() : nullptr};
    return AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  }
  static BOOL Delete(const char* name, const char* environment = nullptr) {
    std::u16string n = U16(name ? name : ""), e = U16(environment ? environment : "");
    return DeleteMonitorW(nullptr, environment ? e.data() : nullptr, name ? n.data() : nullptr);
  }
  static winsim::Printer& AddPrinterOn(const std::string& name, const std::string& ports) {
    winsim::Printer printer;
    printer.printerName = name;
    printer.portName = ports;
    printer.driverName = "Lumascribe Server";
    M().spooler.printers.push_back(printer);
    return M().spooler.printers.back();
  }
  static std::vector<std::string> MonitorNames(DWORD level) {
    DWORD needed = 0, count = 0;
    EnumMonitorsW(nullptr, level, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(EnumMonitorsW(nullptr, level, buffer.data(), needed, &needed, &count));
    std::vector<std::string> names;
    for (DWORD i = 0; i < count; ++i)
      names.push_back(U8(level == 1 ? reinterpret_cast<MONITOR_INFO_1W*>(buffer.data())[i].pName
                                    : reinterpret_cast<MONITOR_INFO_2W*>(buffer.data())[i].pName));
    return names;
  }
};

TEST_F(WinsimMonitorsTest, EnumerationFollowsTheSizingProtocolAtBothLevels) {
  for (DWORD level : {1u, 2u}) {
    SCOPED_TRACE(level);
    DWORD needed = 0, count = 9;
    EXPECT_FALSE(EnumMonitorsW(nullptr, level, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(count, 0u);
    std::vector<BYTE> buffer(needed + 16, 0xAB);
    DWORD again = 0;
    EXPECT_FALSE(EnumMonitorsW(nullptr, level, buffer.data(), needed - 1, &again, &count));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(again, needed);
    for (BYTE b : buffer) ASSERT_EQ(b, 0xAB) << "a refused call writes nothing";
    ASSERT_TRUE(EnumMonitorsW(nullptr, level, buffer.data(), needed, &again, &count));
    EXPECT_EQ(again, needed);
    ASSERT_EQ(count, 5u);
    for (size_t i = needed; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xAB) << "wrote past cbBuf at " << i;
    const BYTE* stringsStart = buffer.data() + count * (level == 1 ? 8 : 24);
    for (DWORD i = 0; i < count; ++i) {
      std::vector<LPWSTR> texts;
      if (level == 1) {
        texts = {reinterpret_cast<MONITOR_INFO_1W*>(buffer.data())[i].pName};
      } else {
        const MONITOR_INFO_2W& r = reinterpret_cast<MONITOR_INFO_2W*>(buffer.data())[i];
        texts = {r.pName, r.pEnvironment, r.pDLLName};
      }
      for (LPWSTR text : texts) {
        const BYTE* at = reinterpret_cast<const BYTE*>(text);
        EXPECT_TRUE(at >= stringsStart && at < buffer.data() + needed) << "string outside the records' room";
      }
    }
    EXPECT_TRUE(EnumMonitorsW(nullptr, level, buffer.data(), needed + 1, &again, &count));
    EXPECT_EQ(again, needed);
  }
  EXPECT_EQ(MonitorNames(1), (std::vector<std::string>{"Appmon", "Local Port", "Standard TCP/IP Port",
                                                       "USB Monitor", "WSD Port"}));
}

TEST_F(WinsimMonitorsTest, EnumerationRefusesBadArgumentsAndAStoppedSpooler) {
  DWORD needed = 0, count = 0;
  for (DWORD level : {0u, 3u}) {
    EXPECT_FALSE(EnumMonitorsW(nullptr, level, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL)) << "the level is checked before the pointers";
  }
  EXPECT_FALSE(EnumMonitorsW(nullptr, 2, nullptr, 0, nullptr, &count));
  EXPECT_EQ(GetLastError(), DWORD(RPC_X_NULL_REF_POINTER));
  EXPECT_FALSE(EnumMonitorsW(nullptr, 2, nullptr, 100, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD(RPC_X_NULL_REF_POINTER));
  std::u16string empty, other = U16("\\\\print01");
  EXPECT_FALSE(EnumMonitorsW(empty.data(), 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER)) << "\"\" is the local spooler";
  EXPECT_FALSE(EnumMonitorsW(other.data(), 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
  Spooler().state = SERVICE_STOPPED;
  EXPECT_FALSE(EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
}

TEST_F(WinsimMonitorsTest, NoMonitorsIsASuccessWithNothing) {
  M().monitors.monitors.clear();
  DWORD needed = 7, count = 7;
  EXPECT_TRUE(EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(count, 0u);
}

TEST_F(WinsimMonitorsTest, AddingNeedsTheDllInTheSystemDirectoryAndAFreshName) {
  std::u16string dll = U16("lmsmon64.dll");
  ASSERT_TRUE(winsim::WriteVersionedFile("C:\\Program Files\\Lumascribe\\install\\other.dll", 1, 0, 0, 1));
  EXPECT_FALSE(Add("LumascribeServer:", "Windows x64", "other.dll"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND)) << "beside the tool is not the system directory";
  SetLastError(ERROR_ACCESS_DENIED);
  ASSERT_TRUE(AddProductMonitor());
  EXPECT_EQ(GetLastError(), 0u) << "success clears the last error";
  EXPECT_FALSE(AddProductMonitor());
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINT_MONITOR_ALREADY_INSTALLED));
  EXPECT_FALSE(Add("lumascribeserver:", nullptr, "lmsmon64.dll")) << "names are case-insensitive";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINT_MONITOR_ALREADY_INSTALLED));
  std::vector<std::string> names = MonitorNames(2);
  EXPECT_EQ(names.back(), "LumascribeServer:");
  EXPECT_TRUE(winsim::PortExists("LumascribeServer:")) << "the product monitor provides its port";
  EXPECT_EQ(winsim::FindMonitor("LumascribeServer:")->dllName, "lmsmon64.dll");
}

// The spooler loads the DLL and looks up the monitor's entry point (Wine's conformance tests:
// 127 for version.dll, which has none).
TEST_F(WinsimMonitorsTest, AddingNeedsAnX64DllWithAMonitorEntryPoint) {
  const std::string other = "C:\\Windows\\system32\\other.dll";
  auto image = [&other](const std::vector<std::string>& exports) {
    std::string bytes;
    EXPECT_TRUE(winsim::WriteVersionedFile(other, 1, 0, 0, 1, "", exports));
    EXPECT_TRUE(winsim::ReadMachineFile(other, &bytes));
    return bytes;
  };
  const struct {
    const char* what;
    std::string bytes;
    DWORD error;
  } cases[] = {
      {"no exports", image({}), ERROR_PROC_NOT_FOUND},
      {"only names that start alike", image({"Init", "InitializePrintMonitor2A"}), ERROR_PROC_NOT_FOUND},
      {"the entry point among others", image({"DllMain", winsim::kMonitorEntry, "Zeta"}), ERROR_SUCCESS},
      {"the older entry point", image({"InitializePrintMonitor"}), ERROR_SUCCESS},
      {"not a PE image", "MZ but nothing else", ERROR_BAD_EXE_FORMAT},
      {"headers cut short", image({winsim::kMonitorEntry}).substr(0, 0x50), ERROR_BAD_EXE_FORMAT},
      {"GNU-built, resources only", test::Fixture("versioned64.dll"), ERROR_PROC_NOT_FOUND},
      {"GNU-built for x86", test::Fixture("versioned32.dll"), ERROR_BAD_EXE_FORMAT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(winsim::WriteMachineFile(other, c.bytes));
    SetLastError(ERROR_ACCESS_DENIED);
    BOOL added = Add("Other", nullptr, "other.dll");
    EXPECT_EQ(added, c.error == ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), c.error);
    if (added) {
      EXPECT_TRUE(Delete("Other"));
    }
  }
}

TEST_F(WinsimMonitorsTest, AddingChecksItsArguments) {
  winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2501);
  std::u16string name = U16("LumascribeServer:");
  MONITOR_INFO_2W info = {name.data(), nullptr, nullptr};
  EXPECT_FALSE(AddMonitorW(nullptr, 1, reinterpret_cast<LPBYTE>(&info)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  SetLastError(1234);
  EXPECT_FALSE(AddMonitorW(nullptr, 2, nullptr));
  EXPECT_EQ(GetLastError(), 1234u) << "a null record leaves the last error alone";
  EXPECT_FALSE(Add(nullptr, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(Add("", "Windows x64", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(Add("LumascribeServer:", "Windows x64", ""));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(Add("LumascribeServer:", "Windows NT x86", "lmsmon64.dll"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT)) << "an x64 spooler loads no x86 monitor";
  Spooler().state = SERVICE_STOPPED;
  EXPECT_FALSE(AddProductMonitor());
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
  Spooler().state = SERVICE_RUNNING;
  EXPECT_TRUE(AddProductMonitor("WINDOWS X64"));
}

TEST_F(WinsimMonitorsTest, DeletingRefusesUnknownNamesAndMonitorsWhosePortsAreInUse) {
  ASSERT_TRUE(AddProductMonitor());
  EXPECT_FALSE(Delete(""));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(Delete(nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(Delete("LumascribeServer:", "invalid_env"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT));
  winsim::Printer& pooled = AddPrinterOn("Pooled", "LPT1:,lumascribeserver:,COM1:");
  EXPECT_FALSE(Delete("LumascribeServer:", "Windows x64"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINT_MONITOR_IN_USE)) << "a port anywhere in a list counts";
  pooled.portName = "LPT1:,FILE:";
  Spooler().state = SERVICE_STOPPED;
  EXPECT_FALSE(Delete("LumascribeServer:"));
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
  Spooler().state = SERVICE_RUNNING;
  EXPECT_TRUE(Delete("LumascribeServer:", ""));
  EXPECT_FALSE(winsim::PortExists("LumascribeServer:"));
  EXPECT_FALSE(Delete("LumascribeServer:"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINT_MONITOR));
}

TEST_F(WinsimMonitorsTest, TheRunningSpoolerHoldsTheDllsOfInstalledMonitors) {
  ASSERT_TRUE(AddProductMonitor());
  std::u16string path = U16("C:\\WINDOWS\\System32\\LMSMON64.DLL");
  EXPECT_FALSE(DeleteFileW(path.c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  Spooler().state = SERVICE_STOP_PENDING;
  Spooler().pendingSinceMs = M().clock.nowMs;
  Spooler().stopDelayMs = 300;
  EXPECT_FALSE(DeleteFileW(path.c_str())) << "still held while it stops";
  Sleep(300);
  EXPECT_TRUE(DeleteFileW(path.c_str())) << "a stopped spooler holds nothing";
  Spooler().state = SERVICE_RUNNING;
  ASSERT_TRUE(winsim::WriteVersionedFile(kSystemDll, 1, 0, 0, 2501));
  EXPECT_FALSE(DeleteFileW(path.c_str()));
  ASSERT_TRUE(Delete("LumascribeServer:"));
  EXPECT_TRUE(DeleteFileW(path.c_str())) << "a deleted monitor's DLL is let go";
}

TEST_F(WinsimMonitorsTest, MonitorsPersistWithTheMachine) {
  ASSERT_TRUE(AddProductMonitor());
  ASSERT_TRUE(winsim::SaveMachine(root_));
  winsim::ResetMachine(root_);
  EXPECT_EQ(winsim::FindMonitor("LumascribeServer:"), nullptr);
  ASSERT_TRUE(winsim::LoadMachine(root_));
  ASSERT_NE(winsim::FindMonitor("LumascribeServer:"), nullptr);
  EXPECT_TRUE(winsim::PortExists("lumascribeserver:"));
}

}  // namespace
