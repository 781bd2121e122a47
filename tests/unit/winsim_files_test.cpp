#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/sim.h"
#include "winsim/windows.h"

using namespace winsim;

namespace {

class WinsimFilesTest : public test::SimTest {};

TEST_F(WinsimFilesTest, PathsResolveWithoutRegardToCase) {
  ASSERT_TRUE(WriteMachineFile("C:\\Windows\\system32\\LmsMon64.dll", "abc"));
  std::string bytes;
  EXPECT_TRUE(ReadMachineFile("c:\\WINDOWS\\System32\\lmsmon64.DLL", &bytes));
  EXPECT_EQ(bytes, "abc");
  EXPECT_EQ(ResolvePath("C:\\windows\\SYSTEM32\\lmsmon64.dll").path,
            ResolvePath("\\\\?\\C:\\Windows\\system32\\LmsMon64.dll").path);
  EXPECT_EQ(ResolvePath("\\??\\C:/Windows/./spool/..\\system32\\lmsmon64.dll.").path,
            ResolvePath("C:\\Windows\\system32\\LmsMon64.dll").path);
}

TEST_F(WinsimFilesTest, RelativeNamesUseTheCurrentDirectory) {
  ASSERT_TRUE(WriteMachineFile("C:\\Windows\\system32\\x.txt", ""));
  EXPECT_TRUE(MachineFileExists("x.txt"));
  EXPECT_TRUE(MachineFileExists("\\Windows\\system32\\x.txt"));
}

TEST_F(WinsimFilesTest, RefusedNames) {
  EXPECT_EQ(ResolvePath("C:\\a<b").error, DWORD(ERROR_INVALID_NAME));
  EXPECT_EQ(ResolvePath("C:\\dir\\a:b").error, DWORD(ERROR_INVALID_NAME));
  EXPECT_EQ(ResolvePath("").error, DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(ResolvePath("\\\\server\\share\\f").error, DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesW(u"C:\\a|b"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME));
}

TEST_F(WinsimFilesTest, AttributesTellFilesFromDirectoriesAndMissingParents) {
  ASSERT_TRUE(WriteMachineFile("C:\\Windows\\system32\\f.dll", "x"));
  EXPECT_EQ(GetFileAttributesW(u"C:\\Windows\\System32\\F.DLL"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttributesW(u"C:\\Windows\\system32"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesW(u"C:\\Windows\\system32\\none.dll"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesW(u"C:\\nowhere\\none.dll"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST_F(WinsimFilesTest, DeleteFollowsWindowsResults) {
  ASSERT_TRUE(WriteMachineFile("C:\\Windows\\system32\\f.dll", "x"));
  EXPECT_FALSE(DeleteFileW(u"C:\\Windows\\system32"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(DeleteFileW(u"C:\\nowhere\\f.dll"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(DeleteFileW(u"c:\\windows\\system32\\F.dll"));
  EXPECT_FALSE(MachineFileExists("C:\\Windows\\system32\\f.dll"));
  EXPECT_FALSE(DeleteFileW(u"C:\\Windows\\system32\\f.dll"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(WinsimFilesTest, AReadOnlyFileRefusesWritingDeletionAndReplacement) {
  const char16_t* file = u"C:\\Windows\\f.dll";
  ASSERT_TRUE(WriteMachineFile("C:\\Windows\\f.dll", "x") && WriteMachineFile("C:\\Windows\\g.dll", "y"));
  ASSERT_TRUE(SetFileAttributesW(u"c:\\windows\\F.dll", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesW(file), DWORD(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(CreateFileW(file, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileW(file) || MoveFileExW(u"C:\\Windows\\g.dll", file, MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(SetFileAttributesW(file, FILE_ATTRIBUTE_NORMAL) && DeleteFileW(file));
}

TEST_F(WinsimFilesTest, HeldFilesResistDeletionUntilReleased) {
  ASSERT_TRUE(WriteMachineFile("C:\\Windows\\system32\\a.dll", "x"));
  ASSERT_TRUE(WriteMachineFile("C:\\Windows\\system32\\b.dat", "x"));
  HoldFile("C:\\WINDOWS\\system32\\A.dll", "spooler");
  HoldFile("C:\\Windows\\system32\\b.dat", "app", 1000, ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(DeleteFileW(u"C:\\Windows\\system32\\a.dll"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(DeleteFileW(u"C:\\Windows\\system32\\b.dat"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  AdvanceClock(1000);
  EXPECT_TRUE(DeleteFileW(u"C:\\Windows\\system32\\b.dat"));
  ReleaseHolds("spooler");
  EXPECT_TRUE(DeleteFileW(u"C:\\Windows\\system32\\a.dll"));
}

// Names are matched from what winsim has read of a directory before: every change to it made
// on the host since then must still show.
TEST_F(WinsimFilesTest, ChangesMadeOnTheHostShowInLaterLookups) {
  ASSERT_TRUE(WriteMachineFile("C:\\Top\\Dir\\a.txt", "a"));
  EXPECT_FALSE(MachineFileExists("C:\\TOP\\DIR\\B.TXT"));  // both directories read
  const std::filesystem::path top = ResolvePath("C:\\Top").path, dir = top / "Dir";
  std::ofstream(dir / "b.txt") << 'b';
  EXPECT_TRUE(MachineFileExists("C:\\TOP\\DIR\\B.TXT"));
  std::filesystem::rename(dir / "b.txt", dir / "c.txt");
  EXPECT_FALSE(MachineFileExists("C:\\top\\dir\\B.txt"));
  EXPECT_TRUE(MachineFileExists("C:\\top\\dir\\C.txt"));
  // A directory renamed with its parent: a new one in its place has other files.
  std::filesystem::rename(top, top.parent_path() / "Old");
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "d.txt") << 'd';
  EXPECT_FALSE(MachineFileExists("C:\\top\\dir\\A.TXT"));
  EXPECT_TRUE(MachineFileExists("C:\\top\\dir\\D.TXT"));
  EXPECT_TRUE(MachineFileExists("C:\\old\\DIR\\a.txt"));
  // Files made through winsim in one directory, each looked up in another case.
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(WriteMachineFile("C:\\Many\\F" + std::to_string(i), ""));
  for (int i = 0; i < 300; i += 7) EXPECT_TRUE(MachineFileExists("c:\\many\\f" + std::to_string(i))) << i;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(ResolvePath("C:\\many").path), {}), 300);
}

TEST_F(WinsimFilesTest, HoldsAndCurrentDirectorySurviveSaveAndLoad) {
  HoldFile("C:\\Windows\\system32\\a.dll", "spooler", 5000, ERROR_SHARING_VIOLATION);
  M().files.currentDir = "C:\\Users";
  ASSERT_TRUE(SaveMachine(root_));
  ResetMachine(root_);
  ASSERT_TRUE(LoadMachine(root_));
  ASSERT_EQ(M().files.holds.size(), 1u);
  EXPECT_EQ(M().files.holds[0].untilMs, 5000u);
  EXPECT_EQ(M().files.holds[0].deleteError, DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(M().files.currentDir, "C:\\Users");
}

}  // namespace
