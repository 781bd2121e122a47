#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "spooler/driver_list.h"
#include "support/sim.h"

using namespace inst;
using test::AddFault;
using test::U16;
using test::U8;
using winsim::M;

namespace {

class DriverListTest : public test::SimTest {
 protected:
  // A list of `level` whose records carry these names (null: a record without a name) at the
  // place each level keeps pName; every other byte is filled with 0x5A so that a wrong stride
  // or offset reads garbage.
  DriverList Made(DWORD level, DWORD recordBytes, const std::vector<const char*>& names) {
    block_.assign(names.size() * recordBytes, 0x5A);
    texts_.clear();
    texts_.reserve(names.size());
    size_t offset = level == 1 ? 0 : 8;
    for (size_t i = 0; i < names.size(); ++i) {
      texts_.push_back(names[i] ? U16(names[i]) : u"");
      LPWSTR name = names[i] ? texts_.back().data() : nullptr;
      std::memcpy(block_.data() + i * recordBytes + offset, &name, sizeof(name));
    }
    return DriverList{block_.data(), level, DWORD(names.size()), 0};
  }
  std::vector<BYTE> block_;
  std::vector<std::u16string> texts_;
};

TEST_F(DriverListTest, EnumeratesTheEnvironmentAtLevelSixInABlockOfTheNeededSize) {
  DriverList list = EnumerateDrivers(TEXT("Windows x64"));
  ASSERT_EQ(list.count, 3u);
  EXPECT_EQ(list.level, 6u);
  ASSERT_NE(list.records, nullptr);
  std::vector<winsim::TraceEntry> allocs = test::Calls("GlobalAlloc");
  ASSERT_EQ(allocs.size(), 1u);
  std::vector<winsim::TraceEntry> enums = test::Calls("EnumPrinterDriversW");
  ASSERT_EQ(enums.size(), 2u);
  EXPECT_EQ(enums[0].detail, "Windows x64 6 0");
  EXPECT_EQ(enums[1].detail, "Windows x64 6 " + allocs[0].detail);
  EXPECT_EQ(U8(DriverNameAt(list, 2)), "Microsoft Shared Fax Driver");
  EXPECT_EQ(FindProductDriver(list), -1);
  FreeDriverList(&list);
  EXPECT_EQ(list.records, nullptr);
  EXPECT_EQ(list.count, 0u);
}

TEST_F(DriverListTest, FailuresGiveTheEmptyList) {
  DriverList none = EnumerateDrivers(TEXT("Windows NT x86"));
  EXPECT_EQ(none.records, nullptr) << "no drivers: no block";
  EXPECT_EQ(none.count, 0u);
  EXPECT_EQ(winsim::CountCalls("EnumPrinterDriversW"), 1);

  AddFault("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  DriverList starved = EnumerateDrivers(TEXT("Windows x64"));
  EXPECT_EQ(starved.records, nullptr);
  EXPECT_EQ(starved.count, 0u);
  EXPECT_EQ(GetLastError(), DWORD(E_OUTOFMEMORY));
  M().faults.clear();

  // The drivers change between the sizing and the filling call: the block is released.
  AddFault("EnumPrinterDriversW", ERROR_INSUFFICIENT_BUFFER, "", 2, 2);
  DriverList raced = EnumerateDrivers(TEXT("Windows x64"));
  EXPECT_EQ(raced.records, nullptr);
  EXPECT_EQ(raced.count, 0u);

  test::Spooler().state = SERVICE_STOPPED;
  DriverList stopped = EnumerateDrivers(TEXT("Windows x64"));
  EXPECT_EQ(stopped.count, 0u);
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
}

TEST_F(DriverListTest, FindsOnlyTheExactNameAndTheFirstOfTwo) {
  DriverList list = Made(6, 136, {"Lumascribe Server", "Other"});
  EXPECT_EQ(FindProductDriver(list), 0);
  list = Made(6, 136, {"lumascribe server", "Lumascribe Server ", "Lumascribe Serve", nullptr,
                       "Lumascribe Server", "Lumascribe Server"});
  EXPECT_EQ(FindProductDriver(list), 4);
  list = Made(6, 136, {"LUMASCRIBE SERVER", "Lumascribe Server2", nullptr});
  EXPECT_EQ(FindProductDriver(list), -1);
  list = Made(6, 136, {});
  EXPECT_EQ(FindProductDriver(list), -1);
}

TEST_F(DriverListTest, EachLevelIsSearchedWithItsOwnStride) {
  const DWORD sizes[] = {0, 8, 48, 80, 88, 64, 136};
  for (DWORD level = 1; level <= 6; ++level) {
    SCOPED_TRACE(level);
    DriverList list = Made(level, sizes[level], {"A", "B", "Lumascribe Server"});
    EXPECT_EQ(FindProductDriver(list), 2);
  }
  DriverList seven = Made(3, 80, {"Lumascribe Server"});
  seven.level = 7;
  EXPECT_EQ(FindProductDriver(seven), -1);
  seven.level = 0;
  EXPECT_EQ(FindProductDriver(seven), -1);
}

}  // namespace
