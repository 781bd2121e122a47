#include <gtest/gtest.h>

#include "support/sim.h"
#include "winsim/windows.h"

using namespace winsim;
using namespace std::literals;

namespace {

class WinsimRebootTest : public test::SimTest {
 protected:
  static std::vector<std::string> Queued() {
    std::string data;
    DWORD type = 0;
    if (!GetRegValue(kSessionManagerKey, kPendingRenamesValue, &type, &data)) return {"<absent>"};
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
    std::vector<std::string> strings;
    for (const std::u16string& s : MultiSzStrings(data)) strings.push_back(Utf8(s));
    EXPECT_EQ(RegMultiSzBytes(strings), data) << "well-formed, with its final terminator";
    return strings;
  }
};

TEST_F(WinsimRebootTest, DelayedOperationsAreQueuedAsNtPathsAfterWhatIsThere) {
  ASSERT_TRUE(SetRegValue(kSessionManagerKey, kPendingRenamesValue, REG_MULTI_SZ,
                          RegMultiSzBytes({"\\??\\D:\\other.tmp", ""})));
  M().files.currentDir = "C:\\Windows\\system32";
  EXPECT_TRUE(MoveFileExW(u"spool/../x.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) << "need not exist";
  EXPECT_TRUE(MoveFileExW(u"C:\\a.new", u"C:\\a.dll", MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
  EXPECT_TRUE(MoveFileExW(u"C:\\b.new", u"C:\\b.dll", MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(Queued(), (std::vector<std::string>{"\\??\\D:\\other.tmp", "", "\\??\\C:\\Windows\\system32\\x.dll", "",
                                                "\\??\\C:\\a.new", "!\\??\\C:\\a.dll", "\\??\\C:\\b.new",
                                                "\\??\\C:\\b.dll"}));

  EXPECT_FALSE(MoveFileExW(u"C:\\c.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_COPY_ALLOWED));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  Fault refuse;
  refuse.call = "MoveFileExW";
  refuse.match = "d.dll";
  refuse.error = ERROR_ACCESS_DENIED;
  M().faults.push_back(refuse);
  EXPECT_FALSE(MoveFileExW(u"C:\\d.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Queued().size(), 8u) << "refused requests add nothing";
}

TEST_F(WinsimRebootTest, TheRestartCarriesOutTheQueueAndEndsEveryHold) {
  for (const char* name : {"C:\\del.dll", "C:\\a.new", "C:\\a.dll", "C:\\b.new", "C:\\b.dll", "C:\\c.new"})
    ASSERT_TRUE(WriteMachineFile(name, name));
  ASSERT_TRUE(std::filesystem::create_directories(ResolvePath("C:\\EmptyDir").path));
  HoldFile("C:\\del.dll", "spooler");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, &key), ERROR_SUCCESS);
  ASSERT_TRUE(MoveFileExW(u"C:\\del.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_TRUE(MoveFileExW(u"C:\\missing.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_TRUE(MoveFileExW(u"C:\\a.new", u"C:\\a.dll", MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
  ASSERT_TRUE(MoveFileExW(u"C:\\b.new", u"C:\\b.dll", MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_TRUE(MoveFileExW(u"C:\\c.new", u"C:\\c.dll", MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_TRUE(MoveFileExW(u"C:\\EmptyDir", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_FALSE(DeleteFileW(u"C:\\del.dll")) << "held until the restart";

  Reboot();
  std::string bytes;
  EXPECT_FALSE(MachineFileExists("C:\\del.dll"));
  EXPECT_TRUE(ReadMachineFile("C:\\a.dll", &bytes) && bytes == "C:\\a.new") << "replaced";
  EXPECT_TRUE(ReadMachineFile("C:\\b.dll", &bytes) && bytes == "C:\\b.dll") << "not replaced without the flag";
  EXPECT_TRUE(MachineFileExists("C:\\b.new"));
  EXPECT_TRUE(ReadMachineFile("C:\\c.dll", &bytes) && bytes == "C:\\c.new");
  EXPECT_EQ(GetFileAttributesW(u"C:\\EmptyDir"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Queued(), std::vector<std::string>{"<absent>"});
  EXPECT_TRUE(M().files.holds.empty());
  EXPECT_EQ(OpenRegKeyCount(), 0u);
}

TEST_F(WinsimRebootTest, ImmediateMovesFollowWindowsResults) {
  ASSERT_TRUE(WriteMachineFile("C:\\a.txt", "a"));
  ASSERT_TRUE(WriteMachineFile("C:\\b.txt", "b"));
  EXPECT_FALSE(MoveFileExW(u"C:\\a.txt", u"C:\\B.TXT", 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(MoveFileExW(u"C:\\none.txt", u"C:\\c.txt", 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(MoveFileExW(u"C:\\a.txt", u"C:\\b.txt", MOVEFILE_REPLACE_EXISTING));
  std::string bytes;
  EXPECT_TRUE(ReadMachineFile("C:\\b.txt", &bytes) && bytes == "a");
  EXPECT_TRUE(MoveFileExW(u"C:\\b.txt", u"C:\\B.txt", 0)) << "a change of letter case";
  EXPECT_EQ(ResolvePath("C:\\b.txt").path.filename(), "B.txt");
}

}  // namespace
