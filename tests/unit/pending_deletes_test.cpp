#include <gtest/gtest.h>

#include "core/install_log.h"
#include "support/sim.h"
#include "system/pending_deletes.h"

using namespace inst;
using namespace std::literals;
using test::LogLines;
using test::U16;
using test::U8;
using winsim::M;

namespace {

const char kSys[] = "C:\\Windows\\system32\\";

class PendingDeletesTest : public test::SimTest {
 protected:
  void TearDown() override {
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  void Add(const std::string& path) { AddPendingDelete(context_.pendingDeletes, U16(path).c_str()); }
  std::vector<std::string> Listed() {
    std::vector<std::string> paths;
    for (PendingDelete* node = context_.pendingDeletes; node; node = node->next) paths.push_back(U8(node->path));
    return paths;
  }
  // The boot queue's strings, pair by pair.
  std::vector<std::string> Queued() {
    std::string data;
    winsim::GetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, nullptr, &data);
    std::vector<std::string> strings;
    for (const std::u16string& s : winsim::MultiSzStrings(data)) strings.push_back(winsim::Utf8(s));
    return strings;
  }
  InstallContext context_{};
};

TEST_F(PendingDeletesTest, EqualPathsAreListedOnceAndTheNewestComesFirst) {
  Add(kSys + "a.dll"s);
  Add(kSys + "b.dll"s);
  Add(kSys + "a.dll"s);
  Add(kSys + "A.dll"s);
  Add("");
  AddPendingDelete(context_.pendingDeletes, nullptr);
  EXPECT_EQ(Listed(), (std::vector<std::string>{kSys + "A.dll"s, kSys + "b.dll"s, kSys + "a.dll"s}));
}

TEST_F(PendingDeletesTest, APathThatFindsNoMemoryIsNotAdded) {
  test::AddFault("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, "", 2, 2);  // the node is had, its copy is not
  Add(kSys + "a.dll"s);
  EXPECT_EQ(context_.pendingDeletes, nullptr);
  EXPECT_EQ(GetLastError(), DWORD(E_OUTOFMEMORY));
  Add(kSys + "a.dll"s);
  EXPECT_EQ(Listed().size(), 1u);
}

TEST_F(PendingDeletesTest, RetryOnAnEmptyListOnlyLogs) {
  context_.indent = 2;
  RetryPendingDeletes(&context_);
  EXPECT_EQ(LogLines(context_), std::vector<std::string>{"    DeleteFile-try"});
  EXPECT_EQ(winsim::CountCalls("DeleteFileW"), 0);
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(context_.indent, 2);
}

TEST_F(PendingDeletesTest, RetryDropsWhatIsGoneAndKeepsWhatIsHeldInOrder) {
  for (const char* name : {"held1.dll", "free.dll", "held2.dat"}) ASSERT_TRUE(winsim::WriteMachineFile(kSys + ""s + name, "x"));
  winsim::HoldFile(kSys + "held1.dll"s, "spooler");
  winsim::HoldFile(kSys + "held2.dat"s, "app", UINT64_MAX, ERROR_SHARING_VIOLATION);
  Add(kSys + "held1.dll"s);
  Add(kSys + "gone.dll"s);
  Add(kSys + "free.dll"s);
  Add(kSys + "held2.dat"s);
  Add("C:\\NoSuchDir\\x.dll");  // ERROR_PATH_NOT_FOUND is not "gone": it stays
  RetryPendingDeletes(&context_);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"C:\\NoSuchDir\\x.dll", kSys + "held2.dat"s, kSys + "held1.dll"s}));
  EXPECT_FALSE(winsim::MachineFileExists(kSys + "free.dll"s));
  EXPECT_TRUE(winsim::MachineFileExists(kSys + "held1.dll"s));
  EXPECT_EQ(LogLines(context_), std::vector<std::string>{"DeleteFile-try"});

  winsim::ReleaseHolds("spooler");
  RetryPendingDeletes(&context_);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"C:\\NoSuchDir\\x.dll", kSys + "held2.dat"s}));
}

TEST_F(PendingDeletesTest, SchedulingAsksForEachPathNewestFirstAndCountsAcceptance) {
  EXPECT_EQ(ScheduleDeletesAtReboot(&context_), 0);
  EXPECT_EQ(winsim::CountCalls("MoveFileExW"), 0);

  Add(kSys + "a.dll"s);
  Add(kSys + "b.dll"s);
  Add(kSys + "c.dll"s);
  test::AddFault("MoveFileExW", ERROR_ACCESS_DENIED, "b.dll");
  EXPECT_EQ(ScheduleDeletesAtReboot(&context_), 2);
  EXPECT_EQ(context_.pendingDeletes, nullptr);
  EXPECT_EQ(winsim::CountCalls("MoveFileExW"), 3);
  EXPECT_EQ(Queued(), (std::vector<std::string>{"\\??\\" + (kSys + "c.dll"s), "", "\\??\\" + (kSys + "a.dll"s), ""}));
  EXPECT_TRUE(context_.logText == nullptr) << "nothing logged";
}

TEST_F(PendingDeletesTest, ClearingDeletesNothingOnDisk) {
  ASSERT_TRUE(winsim::WriteMachineFile(kSys + "a.dll"s, "x"));
  Add(kSys + "a.dll"s);
  Add(kSys + "b.dll"s);
  ClearPendingDeletes(&context_);
  EXPECT_EQ(context_.pendingDeletes, nullptr);
  EXPECT_TRUE(winsim::MachineFileExists(kSys + "a.dll"s));
  EXPECT_EQ(winsim::CountCalls("DeleteFileW") + winsim::CountCalls("MoveFileExW"), 0);
}

}  // namespace
