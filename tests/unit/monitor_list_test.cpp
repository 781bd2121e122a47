#include <gtest/gtest.h>

#include "core/install_log.h"
#include "spooler/monitor_list.h"
#include "support/sim.h"

using namespace inst;
using test::AddFault;
using test::LogLines;
using test::Spooler;
using test::U16;
using test::U8;
using winsim::M;

namespace {

class MonitorListTest : public test::SimTest {
 protected:
  void TearDown() override {
    FreeString(context_.logText);
    SimTest::TearDown();
  }
  InstallContext context_{};
};

// A level-1 or level-2 list over records the test owns.
struct HandMadeList {
  std::vector<std::u16string> names;
  std::vector<MONITOR_INFO_1W> level1;
  std::vector<MONITOR_INFO_2W> level2;
  explicit HandMadeList(std::vector<const char*> list) {
    for (const char* name : list) names.push_back(U16(name ? name : ""));
    for (size_t i = 0; i < list.size(); ++i) {
      LPWSTR name = list[i] ? names[i].data() : nullptr;
      level1.push_back({name});
      level2.push_back({name, nullptr, nullptr});
    }
  }
  MonitorList At(DWORD level) {
    void* records = level == 1 ? static_cast<void*>(level1.data()) : static_cast<void*>(level2.data());
    return MonitorList{records, level, DWORD(names.size())};
  }
};

TEST_F(MonitorListTest, EnumeratesTheSpoolersMonitorsAtLevel2WithoutALogLine) {
  MonitorList list = EnumerateMonitors(&context_);
  EXPECT_EQ(list.level, 2u);
  ASSERT_EQ(list.count, 5u);
  EXPECT_EQ(U8(static_cast<MONITOR_INFO_2W*>(list.records)[1].pDLLName), "localspl.dll");
  EXPECT_EQ(FindProductMonitor(list), -1);
  EXPECT_TRUE(LogLines(context_).empty());
  FreeMonitorList(&list);
  EXPECT_EQ(list.records, nullptr);
}

TEST_F(MonitorListTest, ASizeQueryThatSucceedsGivesTheEmptyList) {
  M().monitors.monitors.clear();
  MonitorList list = EnumerateMonitors(&context_);
  EXPECT_EQ(list.records, nullptr);
  EXPECT_EQ(list.count, 0u);
  EXPECT_EQ(FindProductMonitor(list), -1);
  EXPECT_EQ(LogLines(context_), (std::vector<std::string>{"1. EnumMonitors returns true"}));
}

TEST_F(MonitorListTest, FailuresLogTheSystemTextWithItsOwnLineBreak) {
  context_.indent = 1;
  Spooler().state = SERVICE_STOPPED;
  MonitorList list = EnumerateMonitors(&context_);
  EXPECT_EQ(list.count, 0u);
  Spooler().state = SERVICE_RUNNING;
  AddFault("EnumMonitorsW", ERROR_ACCESS_DENIED, "", 2, 2);
  list = EnumerateMonitors(&context_);
  EXPECT_EQ(list.records, nullptr);
  EXPECT_EQ(list.count, 0u);
  AddFault("EnumMonitorsW", 4999);  // a code the system has no text for
  list = EnumerateMonitors(&context_);
  EXPECT_EQ(LogLines(context_),
            (std::vector<std::string>{"  2. EnumMonitors  failed with code: The RPC server is unavailable.", "",
                                      "  3. EnumMonitors  failed with code: Access is denied.", "",
                                      "  2. EnumMonitors  failed with code: No Error or no description"}));
  EXPECT_EQ(context_.errorCount, 0) << "none of them is reported";
}

TEST_F(MonitorListTest, AFailedAllocationLeavesOutOfMemory) {
  AddFault("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  MonitorList list = EnumerateMonitors(&context_);
  EXPECT_EQ(list.count, 0u);
  EXPECT_EQ(GetLastError(), DWORD(E_OUTOFMEMORY));
  EXPECT_EQ(LogLines(context_), (std::vector<std::string>{"3. EnumMonitors - can't allocate memory for buffer"}));
}

TEST_F(MonitorListTest, OnlyTheExactNameMatchesAndTheFirstWins) {
  HandMadeList list({"lumascribeserver:", "LumascribeServer", "LumascribeServer:x", nullptr, "LumascribeServer:",
                     "LumascribeServer:"});
  EXPECT_EQ(FindProductMonitor(list.At(2)), 4);
  EXPECT_EQ(FindProductMonitor(list.At(1)), 4) << "level-1 records are searched alike";
  EXPECT_EQ(FindProductMonitor(list.At(3)), -1) << "no other level is read";
  MonitorList none = list.At(2);
  none.count = 4;
  EXPECT_EQ(FindProductMonitor(none), -1);
}

TEST_F(MonitorListTest, TheListingIsNumberedFromOneAndShowsUnnamedRecords) {
  HandMadeList list({"Local Port", nullptr});
  LogMonitorList(&context_, list.At(2));
  LogMonitorList(&context_, MonitorList{nullptr, 2, 0});
  EXPECT_EQ(LogLines(context_), (std::vector<std::string>{
                                    "------- 2 existing monitors ----------",
                                    "1. Local Port",
                                    "2. ***EMPTY***",
                                    "---------------------------------------",
                                    "------- 0 existing monitors ----------",
                                    "---------------------------------------",
                                }));
}

}  // namespace
