#include <gtest/gtest.h>

#include <filesystem>

#include "support/sim.h"
#include "system/pending_deletes.h"
#include "system/pending_renames.h"

using namespace inst;
using namespace std::literals;
using test::U8;
using winsim::M;

namespace {

const std::string kSys = "C:\\Windows\\system32\\";
const std::u16string kNtSys = u"\\??\\C:\\Windows\\system32\\";
// The product's own files below the system directory: the only ones the clean-up deletes.
const std::string kOld = "spool\\DRIVERS\\x64\\3\\Old\\2\\lmsdrv64.dll", kUi = "spool\\DRIVERS\\W32X86\\lmsui32.dll";

class PendingRenamesTest : public test::SimTest {
 protected:
  void TearDown() override {
    FreePendingRenameList(&list_);
    EXPECT_EQ(winsim::OpenRegKeyCount(), 0u) << "the key is closed";
    SimTest::TearDown();
  }
  // Stores the value from its UTF-16 units exactly (embedded and final zeros as given).
  static void Store(const std::u16string& units, const std::string& extraBytes = "") {
    winsim::SetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, REG_MULTI_SZ,
                        winsim::Utf16LeBytes(units) + extraBytes);
  }
  static std::string Stored() {
    std::string data;
    winsim::GetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, nullptr, &data);
    return data;
  }
  static void File(const std::string& name) { ASSERT_TRUE(winsim::WriteMachineFile(kSys + name, "x")); }
  static bool Exists(const std::string& name) { return winsim::MachineFileExists(kSys + name); }
  std::string Name(int i) { return list_.names[i] ? U8(list_.names[i]) : "<null>"; }
  void Change(uint32_t onQuery, const std::u16string& units, bool remove = false) {
    winsim::RegValueChange c;
    c.key = winsim::kSessionManagerKey;
    c.value = winsim::kPendingRenamesValue;
    c.onQuery = onQuery;
    c.remove = remove;
    c.type = REG_MULTI_SZ;
    c.data = winsim::Utf16LeBytes(units);
    M().registry.changes.push_back(c);
  }
  PendingRenameList list_{};
  ProductFolders folders_{};
};

TEST_F(PendingRenamesTest, AMissingValueOrKeyGivesAnEmptyList) {
  list_ = ReadPendingRenames();
  EXPECT_EQ(list_.pairCount, 0);
  EXPECT_EQ(list_.names, nullptr);
  EXPECT_EQ(list_.existsAsFile, nullptr);
  DeletePendingRenameSources(&list_, &folders_);
  EXPECT_EQ(winsim::CountCalls("DeleteFileW"), 0);

  ASSERT_TRUE(winsim::DeleteRegKeyTree(winsim::kSessionManagerKey));
  list_ = ReadPendingRenames();
  EXPECT_EQ(list_.pairCount, 0);
  EXPECT_EQ(winsim::CountCalls("RegQueryValueExW"), 1);
}

TEST_F(PendingRenamesTest, APendingDeletionIsCarriedOutAtOnce) {
  File(kOld);
  Store(kNtSys + test::U16(kOld) + u"\0\0\0"s);
  list_ = ReadPendingRenames();
  ASSERT_EQ(list_.pairCount, 1);
  EXPECT_EQ(Name(0), "\\??\\" + kSys + kOld) << "kept as stored";
  EXPECT_EQ(list_.names[1], nullptr);
  EXPECT_EQ(list_.existsAsFile[0], 1);
  DeletePendingRenameSources(&list_, &folders_);
  EXPECT_FALSE(Exists(kOld));
  EXPECT_EQ(list_.existsAsFile[0], 0);
  EXPECT_EQ(Stored(), "") << "a deletion carried out leaves the value, or it would outlive a reinstall";
}

// Only the deletions the clean-up carried out leave the value; every other byte stays, in order,
// however another program wrote it.
TEST_F(PendingRenamesTest, OnlyTheDeletionsCarriedOutLeaveTheValueByteForByte) {
  const std::u16string old = kNtSys + test::U16(kOld) + u"\0\0"s, held = kNtSys + test::U16(kUi) + u"\0\0"s,
                       gone = kNtSys + u"gone.dll\0\0"s, dir = kNtSys + u"spool\\tmp\0\0"s,
                       rename = kNtSys + u"from.dll\0"s + kNtSys + u"to.dll\0"s,
                       open = u"\\??\\C:\\Windows\\b.dll"s;  // no terminator at all
  const struct {
    const char* what;
    std::u16string value;
    std::string oddByte;
    std::u16string after;  // "" with `deleted`: the value goes; "" alone: nothing is written
    bool deleted;
  } kCases[] = {
      {"foreign entries around ours", held + old + rename + gone + kNtSys + u"last.dll\0"s, "",
       held + rename + gone + kNtSys + u"last.dll\0"s, false},
      {"a queued directory and a file already gone", dir + old + gone + u"\0"s, "", dir + gone + u"\0"s, false},
      // Windows stores the NUL that follows the kept bytes in memory.
      {"a last string without its terminator", old + open, "", open + u"\0"s, false},
      {"an odd last byte", old + rename + u"\0"s, "\x7f", rename + u"\0"s, false},
      {"the same file queued twice", old + old + u"\0"s, "", old + u"\0"s, false},
      {"nothing carried out", held + dir + u"\0"s, "", u""s, false},
      {"everything carried out", old + u"\0"s, "", u""s, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    M().trace.clear();
    File(kOld);
    File(kUi);
    winsim::HoldFile(kSys + kUi, "virus scanner");
    std::filesystem::create_directories(winsim::ResolvePath(kSys + "spool\\tmp").path);
    Store(c.value, c.oddByte);
    std::string before = Stored();
    list_ = ReadPendingRenames();
    DeletePendingRenameSources(&list_, &folders_);
    FreePendingRenameList(&list_);
    winsim::ReleaseHolds("virus scanner");
    int writes = winsim::CountCalls("RegSetValueExW") + winsim::CountCalls("RegDeleteValueA");
    if (c.deleted) {
      EXPECT_FALSE(winsim::GetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, nullptr, nullptr));
    } else if (c.after.empty()) {
      EXPECT_EQ(writes, 0);
      EXPECT_EQ(Stored(), before);
    } else {
      EXPECT_EQ(Stored(), winsim::Utf16LeBytes(c.after) + c.oddByte);
    }
  }
}

TEST_F(PendingRenamesTest, OnlyExistingOwnFilesWithAnEmptyTargetAreDeleted) {
  for (const std::string& name : {"lmsmon64.dll"s, "renamed.dll"s, "plain.dll"s, "other.txt"s, kUi}) File(name);
  std::u16string units = kNtSys + u"lmsmon64.dll\0\0"s +                  // deletion
                         kNtSys + u"renamed.dll\0"s + kNtSys + u"new.dll\0"s +  // rename: left alone
                         u"\\??\\C:\\Windows\0\0"s +                          // a directory
                         u"C:\\Windows\\system32\\plain.dll\0\0"s +           // no prefix, not ours
                         u"\\??C:\\Windows\\system32\\other.txt\0\0"s +       // no full prefix
                         kNtSys + u"gone.dll\0\0"s +                          // nothing there
                         kNtSys + test::U16(kUi) + u"\0\0\0"s;
  Store(units);
  list_ = ReadPendingRenames();
  ASSERT_EQ(list_.pairCount, 7);
  EXPECT_EQ((std::vector<int32_t>(list_.existsAsFile, list_.existsAsFile + 14)),
            (std::vector<int32_t>{1, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0}));
  EXPECT_EQ(Name(3), "\\??\\" + kSys + "new.dll");
  EXPECT_EQ(Name(8), "\\??C:\\Windows\\system32\\other.txt");
  DeletePendingRenameSources(&list_, &folders_);
  EXPECT_FALSE(Exists("lmsmon64.dll"));
  EXPECT_TRUE(Exists("renamed.dll"));
  EXPECT_TRUE(Exists("plain.dll"));
  EXPECT_TRUE(Exists("other.txt"));
  EXPECT_FALSE(Exists(kUi));
  EXPECT_EQ(GetFileAttributesW(u"C:\\Windows"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(winsim::CountCalls("DeleteFileW"), 2);
  EXPECT_EQ((std::vector<int32_t>(list_.existsAsFile, list_.existsAsFile + 14)),
            (std::vector<int32_t>{0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(PendingRenamesTest, AFailedDeletionKeepsItsFlag) {
  File("held.dll");
  winsim::HoldFile(kSys + "held.dll", "spooler");
  Store(kNtSys + u"held.dll\0\0\0"s);
  list_ = ReadPendingRenames();
  DeletePendingRenameSources(&list_, &folders_);
  EXPECT_EQ(list_.existsAsFile[0], 1);
  EXPECT_TRUE(Exists("held.dll"));
}

TEST_F(PendingRenamesTest, AnUnpairedLastStringIsDropped) {
  File("a.dll");
  Store(kNtSys + u"a.dll\0\0"s + kNtSys + u"a.dll\0\0"s);  // three strings
  list_ = ReadPendingRenames();
  EXPECT_EQ(list_.pairCount, 1);
}

TEST_F(PendingRenamesTest, EmptyStringsInTheMiddleArePairedLikeAnyOther) {
  File(kOld);
  File(kUi);
  Store(kNtSys + test::U16(kOld) + u"\0\0\0\0"s + kNtSys + test::U16(kUi) + u"\0\0\0"s);
  list_ = ReadPendingRenames();
  ASSERT_EQ(list_.pairCount, 3);
  EXPECT_EQ(Name(2) + Name(3), "<null><null>");
  DeletePendingRenameSources(&list_, &folders_);
  EXPECT_FALSE(Exists(kOld));
  EXPECT_FALSE(Exists(kUi));
}

TEST_F(PendingRenamesTest, TheParseStaysWithinTheBytes) {
  File("a.dll");
  // An odd byte count: the stray byte is no character.
  Store(kNtSys + u"a.dll\0\0\0"s, "\x41");
  list_ = ReadPendingRenames();
  ASSERT_EQ(list_.pairCount, 1);
  EXPECT_EQ(Name(0), "\\??\\" + kSys + "a.dll");
  EXPECT_EQ(list_.existsAsFile[0], 1);
  FreePendingRenameList(&list_);

  // No terminator at all: the last unit counts as the terminator; the copies are terminated.
  Store(kNtSys + u"a.dll\0"s + kNtSys + u"new.dll"s);
  list_ = ReadPendingRenames();
  ASSERT_EQ(list_.pairCount, 1);
  EXPECT_EQ(Name(1), "\\??\\" + kSys + "new.dl");
  DeletePendingRenameSources(&list_, &folders_);
  EXPECT_TRUE(Exists("a.dll")) << "a rename stays a rename";
  FreePendingRenameList(&list_);

  // A deletion pair without the list's final terminator loses its empty target, not its meaning.
  Store(kNtSys + u"a.dll\0\0"s);
  list_ = ReadPendingRenames();
  EXPECT_EQ(list_.pairCount, 0);
  FreePendingRenameList(&list_);

  for (const std::u16string& tiny : {u""s, u"\0"s, u"x"s}) {
    Store(tiny, "\x01");
    list_ = ReadPendingRenames();
    EXPECT_EQ(list_.pairCount, 0);
    FreePendingRenameList(&list_);
  }
}

TEST_F(PendingRenamesTest, AValueThatGrowsBeforeTheReadIsReadAgain) {
  File("a.dll");
  File("b.dll");
  Store(kNtSys + u"a.dll\0\0\0"s);
  Change(2, kNtSys + u"a.dll\0\0"s + kNtSys + u"b.dll\0\0\0"s);
  list_ = ReadPendingRenames();
  ASSERT_EQ(list_.pairCount, 2);
  EXPECT_EQ(Name(2), "\\??\\" + kSys + "b.dll");
  EXPECT_EQ(winsim::CountCalls("RegQueryValueExW"), 4);
}

TEST_F(PendingRenamesTest, AValueThatShrinksBeforeTheReadIsTakenAtItsNewLength) {
  Store(kNtSys + u"a.dll\0\0"s + kNtSys + u"b.dll\0\0"s + kNtSys + u"c.dll\0\0\0"s);
  Change(2, kNtSys + u"c.dll\0\0\0"s);
  list_ = ReadPendingRenames();
  ASSERT_EQ(list_.pairCount, 1) << "the zeros after the new data are not read as more pairs";
  EXPECT_EQ(Name(0), "\\??\\" + kSys + "c.dll");
}

TEST_F(PendingRenamesTest, AValueThatVanishesOrKeepsGrowingCountsAsAbsent) {
  Store(kNtSys + u"a.dll\0\0\0"s);
  Change(2, u"", true);
  list_ = ReadPendingRenames();
  EXPECT_EQ(list_.pairCount, 0);

  Store(kNtSys + u"a.dll\0\0\0"s);
  std::u16string growing = kNtSys + u"a.dll\0\0"s;
  for (uint32_t query = 2; query <= 20; query += 2) {
    growing += kNtSys + u"x.dll\0\0"s;
    Change(query, growing + u'\0');
  }
  list_ = ReadPendingRenames();
  EXPECT_EQ(list_.pairCount, 0);
}

TEST_F(PendingRenamesTest, VeryLongPathsAndManyPairs) {
  std::string dir = "C:\\";
  for (int i = 0; i < 5; ++i) dir += std::string(200, char('a' + i)) + "\\";
  const std::string longFile = dir + "deep.dll";
  ASSERT_TRUE(winsim::WriteMachineFile(longFile, "x"));
  std::u16string units = u"\\??\\" + test::U16(longFile) + u"\0\0"s;
  for (int i = 0; i < 500; ++i) units += kNtSys + test::U16("f" + std::to_string(i) + ".dll") + u"\0\0"s;
  Store(units + u'\0');
  list_ = ReadPendingRenames();
  ASSERT_EQ(list_.pairCount, 501);
  EXPECT_EQ(Name(0), "\\??\\" + longFile);
  EXPECT_EQ(Name(1000), "\\??\\" + kSys + "f499.dll");
  EXPECT_EQ(list_.existsAsFile[0], 1);
  DeletePendingRenameSources(&list_, &folders_);
  EXPECT_TRUE(winsim::MachineFileExists(longFile)) << "not the product's";
}

TEST_F(PendingRenamesTest, RunningOutOfMemoryGivesAnEmptyList) {
  File("a.dll");
  Store(kNtSys + u"a.dll\0"s + kNtSys + u"b.dll\0\0"s);
  for (uint32_t failing = 1; failing <= 5; ++failing) {
    M().faults.clear();
    winsim::Fault f;
    f.call = "GlobalAlloc";
    f.firstCall = f.lastCall = failing;
    f.error = ERROR_NOT_ENOUGH_MEMORY;
    M().faults.push_back(f);
    list_ = ReadPendingRenames();
    EXPECT_EQ(list_.pairCount, 0) << failing;
    EXPECT_EQ(list_.names, nullptr) << failing;
    ExpectNoLeaks();
  }
  DeletePendingRenameSources(&list_, &folders_);
  EXPECT_TRUE(Exists("a.dll")) << "a rename whose target was lost is never taken for a deletion";
}

// The whole road: a held file is scheduled, survives the next run's clean-up, and the restart
// deletes it.
TEST_F(PendingRenamesTest, ScheduledDeletionsRoundTripThroughARestart) {
  File("lmsmon64.dll");
  winsim::HoldFile(kSys + "lmsmon64.dll", "spooler");
  InstallContext context{};
  AddPendingDelete(context.pendingDeletes, test::U16(kSys + "lmsmon64.dll").c_str());
  RetryPendingDeletes(&context);
  EXPECT_EQ(ScheduleDeletesAtReboot(&context), 1);
  DestroyInstallContext(&context);

  list_ = ReadPendingRenames();
  ASSERT_EQ(list_.pairCount, 1);
  EXPECT_EQ(list_.existsAsFile[0], 1);
  DeletePendingRenameSources(&list_, &folders_);
  EXPECT_EQ(list_.existsAsFile[0], 1) << "still held";
  FreePendingRenameList(&list_);

  winsim::Reboot();
  EXPECT_FALSE(Exists("lmsmon64.dll"));
  EXPECT_TRUE(Stored().empty());
  list_ = ReadPendingRenames();
  EXPECT_EQ(list_.pairCount, 0);
}

}  // namespace
