#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "support/sim.h"
#include "winsim/windows.h"

using namespace winsim;

namespace {

const char16_t* kFile = u"C:\\Windows\\system32\\data.bin";

class WinsimFileIoTest : public test::SimTest {
 protected:
  HANDLE Open(DWORD access, DWORD share, DWORD disposition, const char16_t* path = kFile) {
    return CreateFileW(path, access, share, nullptr, disposition, 0, nullptr);
  }
};

TEST_F(WinsimFileIoTest, DispositionsGiveWindowsResults) {
  EXPECT_EQ(Open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Open(GENERIC_WRITE, 0, CREATE_ALWAYS, u"C:\\nowhere\\f.bin"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, u"C:\\Windows"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Open(GENERIC_READ, 0, OPEN_EXISTING, u"C:\\a?b"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME));

  HANDLE created = Open(GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
  EXPECT_TRUE(CloseHandle(created));
  EXPECT_EQ(Open(GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
}

TEST_F(WinsimFileIoTest, CreateAlwaysTruncatesAnExistingFile) {
  ASSERT_TRUE(WriteMachineFile(Utf8(kFile), "old contents"));
  HANDLE file = Open(GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  std::string bytes;
  ASSERT_TRUE(ReadMachineFile(Utf8(kFile), &bytes));
  EXPECT_EQ(bytes, "");
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "new", 3, &written, nullptr));
  EXPECT_EQ(written, 3u);
  EXPECT_TRUE(CloseHandle(file));
  ASSERT_TRUE(ReadMachineFile(Utf8(kFile), &bytes));
  EXPECT_EQ(bytes, "new");
}

TEST_F(WinsimFileIoTest, ReadsContinueWhereTheLastEndedAndStopAtTheEnd) {
  ASSERT_TRUE(WriteMachineFile(Utf8(kFile), "0123456789"));
  HANDLE file = Open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, u"c:\\WINDOWS\\System32\\DATA.BIN");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[8] = {};
  DWORD read = 99;
  EXPECT_TRUE(ReadFile(file, buffer, 6, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "012345");
  EXPECT_TRUE(ReadFile(file, buffer, 8, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "6789");
  EXPECT_TRUE(ReadFile(file, buffer, 8, &read, nullptr));
  EXPECT_EQ(read, 0u);
  DWORD written = 7;
  EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(ReadFile(file, buffer, 1, &read, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(WinsimFileIoTest, ShareModesAreCheckedBothWays) {
  ASSERT_TRUE(WriteMachineFile(Utf8(kFile), "x"));
  HANDLE reader = Open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  // The reader does not share writing: no writer may come in.
  EXPECT_EQ(Open(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  // A second reader must share reading with the first.
  EXPECT_EQ(Open(GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  HANDLE second = Open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(second, INVALID_HANDLE_VALUE);
  EXPECT_NE(second, reader);
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_TRUE(CloseHandle(reader));
  HANDLE writer = Open(GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(writer));
}

// Rows of Wine's dlls/kernel32/tests/file.c sharing matrix (which passes on Windows): specific
// rights count as their generic kin, and an open without data access meets nobody's sharing.
TEST_F(WinsimFileIoTest, SpecificRightsShareAsWindowsDoes) {
  const DWORD kRead = FILE_SHARE_READ, kAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const struct { DWORD heldAccess, heldShare, access, share; bool opens; } kRows[] = {
      {FILE_READ_DATA | FILE_EXECUTE, kRead, FILE_WRITE_DATA, kAll, false},
      {FILE_READ_DATA | FILE_EXECUTE, kRead, FILE_APPEND_DATA, kAll, false},
      {FILE_READ_DATA | FILE_EXECUTE, kRead, DELETE, kAll, false},
      {FILE_READ_DATA | FILE_EXECUTE, kRead, FILE_EXECUTE | SYNCHRONIZE, kRead | FILE_SHARE_DELETE, true},
      {FILE_READ_DATA, kRead, FILE_EXECUTE, FILE_SHARE_WRITE, false},
      {FILE_READ_DATA | FILE_EXECUTE, kRead, FILE_READ_ATTRIBUTES | READ_CONTROL, 0, true},
      {FILE_READ_ATTRIBUTES, 0, GENERIC_READ | GENERIC_WRITE, 0, true},
      {FILE_WRITE_DATA, kAll, GENERIC_READ, kRead, false},
      {GENERIC_EXECUTE, kRead, FILE_READ_DATA, kRead, true},
  };
  ASSERT_TRUE(WriteMachineFile(Utf8(kFile), "x"));
  for (const auto& row : kRows) {
    HANDLE held = Open(row.heldAccess, row.heldShare, OPEN_EXISTING);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HANDLE second = Open(row.access, row.share, OPEN_EXISTING);
    EXPECT_EQ(second != INVALID_HANDLE_VALUE, row.opens) << std::hex << row.heldAccess << " then " << row.access;
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    EXPECT_TRUE(CloseHandle(held));
  }
  // A file held for reading can be renamed neither itself nor through its folder.
  HANDLE held = Open(FILE_READ_DATA | FILE_EXECUTE, kRead, OPEN_EXISTING);
  EXPECT_FALSE(MoveFileExW(kFile, u"C:\\Windows\\system32\\other.bin", 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileExW(u"C:\\Windows\\system32", u"C:\\Windows\\sys", 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(CloseHandle(held));
  EXPECT_TRUE(MoveFileExW(kFile, u"C:\\Windows\\system32\\other.bin", 0));
}

TEST_F(WinsimFileIoTest, DeletingAFileTheProgramHasOpenNeedsShareDelete) {
  ASSERT_TRUE(WriteMachineFile(Utf8(kFile), "x"));
  HANDLE file = Open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_FALSE(DeleteFileW(kFile));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(CloseHandle(file));
  file = Open(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
  EXPECT_TRUE(DeleteFileW(kFile));
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(WinsimFileIoTest, HeldFilesOpenForReadingButNotForWriting) {
  ASSERT_TRUE(WriteMachineFile(Utf8(kFile), "image"));
  HoldFile(Utf8(kFile), "spooler", 500);
  EXPECT_EQ(Open(GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  std::string bytes;
  ASSERT_TRUE(ReadMachineFile(Utf8(kFile), &bytes));
  EXPECT_EQ(bytes, "image") << "a refused CREATE_ALWAYS truncates nothing";
  HANDLE reader = Open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(reader));
  AdvanceClock(500);
  HANDLE writer = Open(GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(writer));
}

TEST_F(WinsimFileIoTest, AFullDiskCutsAWriteShort) {
  HANDLE file = Open(GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  M().files.freeBytes = 10;
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "abcdef", 6, &written, nullptr));
  EXPECT_EQ(written, 6u);
  EXPECT_FALSE(WriteFile(file, "ghijkl", 6, &written, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
  EXPECT_EQ(written, 4u);
  EXPECT_FALSE(WriteFile(file, "m", 1, &written, nullptr));
  EXPECT_EQ(written, 0u);
  std::string bytes;
  ASSERT_TRUE(ReadMachineFile(Utf8(kFile), &bytes));
  EXPECT_EQ(bytes, "abcdefghij") << "written through before the handle closes";
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(WinsimFileIoTest, FaultsAndTraceNameTheFile) {
  Fault f;
  f.call = "WriteFile";
  f.match = "data.bin";
  f.error = ERROR_WRITE_FAULT;
  M().faults.push_back(f);
  HANDLE file = Open(GENERIC_WRITE, 0, CREATE_ALWAYS);
  DWORD written = 5;
  EXPECT_FALSE(WriteFile(file, "abc", 3, &written, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_WRITE_FAULT));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(CloseHandle(file));
  ASSERT_GE(M().trace.size(), 3u);
  EXPECT_EQ(M().trace[M().trace.size() - 3].detail,
            "C:\\Windows\\system32\\data.bin 0x40000000 share 0 disposition 2");
  EXPECT_EQ(M().trace.back().call, "CloseHandle");
}

TEST_F(WinsimFileIoTest, HandlesAreNotSavedWithTheMachine) {
  auto hostFiles = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  const auto before = hostFiles();
  ASSERT_NE(Open(GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EndRunningProgram();
  EXPECT_EQ(hostFiles(), before) << "a program stopped dead lets go of its host files";
  HANDLE file = Open(GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  M().files.freeBytes = 1234;
  ASSERT_TRUE(SaveMachine(root_));
  ASSERT_TRUE(LoadMachine(root_));
  EXPECT_TRUE(M().files.open.empty());
  EXPECT_EQ(M().files.freeBytes, 1234u);
  EXPECT_TRUE(MachineFileExists(Utf8(kFile))) << "loading keeps the disk as it was";
}

}  // namespace
