#include <gtest/gtest.h>

#include "core/install_log.h"
#include "support/sim.h"
#include "system/file_copy.h"

using namespace inst;
using test::LogLines;
using test::U8;
using winsim::M;

namespace {

const std::string kTool = "C:\\Program Files\\Lumascribe\\install\\";
const std::string kTarget = "C:\\Windows\\system32\\";

class FileCopyTest : public test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    AssignString(context_.moduleDir, test::U16(kTool).c_str());
  }
  void TearDown() override {
    FreeString(path_);
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  HRESULT Copy(const std::string& dir, const std::string& name, bool report) {
    return CopyFile(&context_, test::U16(dir).c_str(), test::U16(name).c_str(), &path_, report);
  }
  static std::string Bytes(size_t n) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i) bytes[i] = char((i * 131 + i / 8192) & 0xFF);
    return bytes;
  }
  InstallContext context_{};
  CountedString path_ = nullptr;
};

TEST_F(FileCopyTest, CopiesAreByteIdenticalAtChunkBoundaries) {
  for (size_t size : {size_t(0), size_t(8191), size_t(8192), size_t(8193), size_t(3 * 8192)}) {
    SCOPED_TRACE(size);
    ASSERT_TRUE(winsim::WriteMachineFile(kTool + "data.bin", Bytes(size)));
    ASSERT_TRUE(winsim::WriteMachineFile(kTarget + "data.bin", "older and longer contents"));
    M().trace.clear();
    EXPECT_EQ(Copy(kTarget, "data.bin", true), S_OK);
    std::string copied;
    ASSERT_TRUE(winsim::ReadMachineFile(kTarget + "data.bin", &copied));
    EXPECT_TRUE(copied == Bytes(size)) << "copied " << copied.size() << " bytes";
    // Whole chunks, then the read that comes back short (empty after exact multiples).
    EXPECT_EQ(winsim::CountCalls("ReadFile"), int(size / 8192 + 1));
    EXPECT_EQ(winsim::CountCalls("WriteFile"), int((size + 8191) / 8192));
  }
  EXPECT_EQ(context_.errorCount, 0);
}

TEST_F(FileCopyTest, LogsTheCopyOneLevelDeeper) {
  context_.indent = 1;
  EXPECT_EQ(Copy(kTarget, "lmsmon64.dll", false), S_OK);
  EXPECT_EQ(context_.indent, 1);
  EXPECT_EQ(LogLines(context_), (std::vector<std::string>{
                                    "  >CopyFile lmsmon64.dll to C:\\Windows\\system32\\ [0])",
                                    "    Copy Succeeded :)",
                                }));
  EXPECT_EQ(U8(Text(path_)), kTarget + "lmsmon64.dll");
  std::string source, copy;
  ASSERT_TRUE(winsim::ReadMachineFile(kTool + "lmsmon64.dll", &source));
  ASSERT_TRUE(winsim::ReadMachineFile(kTarget + "lmsmon64.dll", &copy));
  EXPECT_EQ(copy, source);
}

TEST_F(FileCopyTest, DestinationPathWithOrWithoutTrailingBackslashOrNoDirectory) {
  EXPECT_EQ(Copy("C:\\Windows\\system32", "lmsui64.dll", false), S_OK);
  EXPECT_EQ(U8(Text(path_)), "C:\\Windows\\system32\\lmsui64.dll");
  EXPECT_EQ(Copy("C:\\Windows\\system32\\", "lmsui64.dll", false), S_OK);
  EXPECT_EQ(U8(Text(path_)), "C:\\Windows\\system32\\lmsui64.dll");
  M().files.currentDir = "C:\\Windows";
  EXPECT_EQ(Copy("", "lmsui64.dll", false), S_OK);
  EXPECT_EQ(U8(Text(path_)), "lmsui64.dll");
  EXPECT_TRUE(winsim::MachineFileExists("C:\\Windows\\lmsui64.dll"));
  // Without a module directory the source is the bare name, in the current directory too.
  FreeString(context_.moduleDir);
  EXPECT_EQ(Copy("C:\\Windows\\system32", "lmsui64.dll", false), S_OK);
}

TEST_F(FileCopyTest, MissingSourceReportsOnlyWithTheFlag) {
  EXPECT_EQ(Copy(kTarget, "lmsmissing.dll", false), E_FAIL);
  EXPECT_EQ(U8(Text(path_)), kTarget + "lmsmissing.dll") << "the path is filled before opening";
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(LogLines(context_), (std::vector<std::string>{
                                    ">CopyFile lmsmissing.dll to C:\\Windows\\system32\\ [0])",
                                    "  Copy Failed :(",
                                }));
  EXPECT_EQ(Copy(kTarget, "lmsmissing.dll", true), E_FAIL);
  EXPECT_EQ(context_.errorCount, 1);
  EXPECT_EQ(LogLines(context_)[3],
            "  Error(10): Cant't open source file: lmsmissing.dll - (The system cannot find the file specified.)");
  EXPECT_FALSE(winsim::MachineFileExists(kTarget + "lmsmissing.dll"));
}

TEST_F(FileCopyTest, ShortWriteIsErrorEightWhateverTheFlag) {
  for (bool report : {false, true}) {
    SCOPED_TRACE(report);
    ASSERT_TRUE(winsim::WriteMachineFile(kTool + "data.bin", Bytes(3 * 8192)));
    M().files.freeBytes = 10000;
    int errors = context_.errorCount;
    EXPECT_EQ(Copy(kTarget, "data.bin", report), E_FAIL);
    EXPECT_EQ(context_.errorCount, errors + 1);
    std::vector<std::string> lines = LogLines(context_);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2],
              "  Error(8): CopyFile(..,C:\\Windows\\system32\\data.bin) - (There is not enough space on the disk.)");
    EXPECT_EQ(lines.back(), "  Copy Failed :(");
    // The incomplete copy stays as far as it got, and no third chunk was tried.
    std::string copied;
    ASSERT_TRUE(winsim::ReadMachineFile(kTarget + "data.bin", &copied));
    EXPECT_EQ(copied.size(), 10000u);
    M().files.freeBytes = UINT64_MAX;
  }
}

TEST_F(FileCopyTest, FailedReadFailsTheCopyInsteadOfTruncatingIt) {
  ASSERT_TRUE(winsim::WriteMachineFile(kTool + "data.bin", Bytes(3 * 8192)));
  winsim::Fault f;
  f.call = "ReadFile";
  f.firstCall = 2;
  f.lastCall = 2;
  f.error = ERROR_WRITE_FAULT + 1;  // ERROR_READ_FAULT
  M().faults.push_back(f);
  EXPECT_EQ(Copy(kTarget, "data.bin", false), E_FAIL);
  EXPECT_EQ(context_.errorCount, 1);
  std::vector<std::string> lines = LogLines(context_);
  EXPECT_EQ(lines[1].rfind("  Error(8): CopyFile(..,C:\\Windows\\system32\\data.bin)", 0), 0u) << lines[1];
  EXPECT_EQ(lines.back(), "  Copy Failed :(");
}

TEST_F(FileCopyTest, DestinationLockedForAWhileIsWaitedFor) {
  winsim::HoldFile(kTarget + "lmsmon64.dll", "spooler", 120);
  M().trace.clear();
  EXPECT_EQ(Copy(kTarget, "lmsmon64.dll", true), S_OK);
  EXPECT_EQ(winsim::CountCalls("Sleep"), 3);
  EXPECT_EQ(M().clock.nowMs, 150u);
  EXPECT_EQ(LogLines(context_).size(), 2u) << "no line for the waiting";
  EXPECT_EQ(context_.errorCount, 0);
}

class OpenForWriteTest : public FileCopyTest {
 protected:
  void SetUp() override {
    FileCopyTest::SetUp();
    winsim::HoldFile(kTarget + "lmsmon64.dll", "spooler");
    M().trace.clear();
  }
  int Attempts() { return winsim::CountCalls("CreateFileW"); }
  HANDLE Open() { return OpenForWriteWithRetry(&context_, test::U16(kTarget + "lmsmon64.dll").c_str()); }
};

TEST_F(OpenForWriteTest, GivesUpAfterAHundredAttemptsFiftyMillisecondsApart) {
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(Attempts(), 100);
  EXPECT_EQ(winsim::CountCalls("Sleep"), 99);
  for (const winsim::TraceEntry& e : M().trace)
    if (e.call == "Sleep") {
      EXPECT_EQ(e.detail, "50");
    }
  EXPECT_EQ(M().clock.nowMs, 4950u);
  EXPECT_TRUE(LogLines(context_).empty()) << "no timeout within the budget";
}

TEST_F(OpenForWriteTest, TimeoutOnlyPastTheBudget) {
  // 151 ms per open: the 50th failure comes at exactly 10000 ms, still within the budget.
  M().files.openLatencyMs = 151;
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Attempts(), 51);
  EXPECT_EQ(LogLines(context_), std::vector<std::string>{"CreateFile - timeout"});
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION)) << "the log line keeps the open's error";
}

TEST_F(OpenForWriteTest, BudgetIsMeasuredAcrossTheTickCounterWrap) {
  M().clock.tickAtBoot = 0xFFFFFFFFu - 3000;
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Attempts(), 100);
  EXPECT_TRUE(LogLines(context_).empty());

  M().trace.clear();
  M().clock.nowMs = 0;
  M().files.openLatencyMs = 151;
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Attempts(), 51);
  EXPECT_EQ(LogLines(context_), std::vector<std::string>{"CreateFile - timeout"});
}

TEST_F(OpenForWriteTest, LockedThroughoutGivesErrorNineWithTheFlag) {
  M().files.openLatencyMs = 151;
  EXPECT_EQ(Copy(kTarget, "lmsmon64.dll", true), E_FAIL);
  EXPECT_EQ(LogLines(context_), (std::vector<std::string>{
                                    ">CopyFile lmsmon64.dll to C:\\Windows\\system32\\ [1])",
                                    "  CreateFile - timeout",
                                    "  Error(9): Cant't open destination file: C:\\Windows\\system32\\lmsmon64.dll - "
                                    "(The process cannot access the file because it is being used by another process.)",
                                    "  Copy Failed :(",
                                }));
  EXPECT_EQ(winsim::CountCalls("CloseHandle"), 1) << "the source is closed";
}

}  // namespace
