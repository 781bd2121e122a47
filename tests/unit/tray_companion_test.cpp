#include <gtest/gtest.h>

#include <filesystem>

#include "core/install_context.h"
#include "printers/tray_companion.h"
#include "support/sim.h"
#include "winsim/file_state.h"

using namespace inst;
using test::AddFault;
using test::Calls;
using test::U16;
using winsim::M;

namespace {

const char kRunKey[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kTray[] = "C:\\Program Files\\Lumascribe\\lumtray.exe";
const char kMutex[] = "{6F3B2D10-4C7A-4E19-9B52-3A7D0C1E8F64}";

class TrayCompanionTest : public test::SimTest {
 protected:
  void TearDown() override {
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  void Create(uint32_t options = 3) {
    CreateInstallContext(&context_, options);
    M().trace.clear();
  }
  static void SetRunValue(const std::string& path) {
    winsim::SetRegValue(kRunKey, "LumascribeTray", REG_SZ, winsim::RegSzBytes(path));
  }
  static bool HasRunValue(std::string* path = nullptr) {
    std::string data;
    if (!winsim::GetRegValue(kRunKey, "LumascribeTray", nullptr, &data)) return false;
    if (path) *path = winsim::Utf8(winsim::MultiSzStrings(data).at(0));
    return true;
  }
  // The companion running as the Run value starts it at logon.
  static winsim::Process* RunningCompanion(const winsim::CompanionBehaviour& behaviour) {
    M().processes.companion = behaviour;
    SetRunValue(kTray);
    winsim::Reboot();
    M().trace.clear();
    return winsim::RunningCompanion();
  }
  static std::vector<uint64_t> Times(const std::string& call) {
    std::vector<uint64_t> times;
    for (const winsim::TraceEntry& e : Calls(call)) times.push_back(e.ms);
    return times;
  }
  InstallContext context_{};
};

TEST_F(TrayCompanionTest, RegistersAndStartsTheCompanionFromTheParentDirectory) {
  Create();
  size_t logLength = Length(context_.logText);
  StartTrayCompanion(&context_);
  std::string path;
  ASSERT_TRUE(HasRunValue(&path));
  EXPECT_EQ(path, "\"" + std::string(kTray) + "\"") << "quoted: C:\\Program.exe must not stand in for it";
  std::string data;
  winsim::GetRegValue(kRunKey, "LumascribeTray", nullptr, &data);
  EXPECT_EQ(data.size(), (path.size() + 1) * 2) << "REG_SZ with its terminator";
  EXPECT_TRUE(Calls("CreateProcessW").empty()) << "never with the tool's own token";
  ASSERT_EQ(Calls("CreateProcessWithTokenW").size(), 1u);
  EXPECT_EQ(Calls("CreateProcessWithTokenW")[0].detail, std::string("\"") + kTray + "\" flags 32 as Bob");
  winsim::Process* companion = winsim::RunningCompanion();
  ASSERT_NE(companion, nullptr);
  EXPECT_EQ(companion->image, kTray);
  EXPECT_FALSE(companion->identity.elevated);
  EXPECT_NE(winsim::FindNamedMutex(kMutex), nullptr);
  // The companion is not waited for, and nothing is logged; the leak check sees every handle closed.
  EXPECT_TRUE(Calls("WaitForSingleObject").empty());
  EXPECT_EQ(Length(context_.logText), logLength);
  EXPECT_TRUE(Calls("GetVersionExA").empty()) << "no version gate in server mode";
}

TEST_F(TrayCompanionTest, TrayPathFollowsTheToolsDirectory) {
  Create();
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Y\\", "C:\\lumtray.exe"},
      {"C:\\", "lumtray.exe"},
      {"D:/x/y/", "D:/x\\lumtray.exe"},
      {"", "lumtray.exe"},
  };
  for (const auto& [dir, expected] : cases) {
    AssignString(context_.moduleDir, U16(dir).c_str());
    StartTrayCompanion(&context_);
    std::string path;
    ASSERT_TRUE(HasRunValue(&path)) << dir;
    EXPECT_EQ(path, "\"" + std::string(expected) + "\"") << dir;
  }
}

TEST_F(TrayCompanionTest, BareNameFromARootDirectoryStartsFromTheToolsDirectory) {
  M().os.modulePath = "C:\\install.exe";
  winsim::WriteMachineFile("C:\\lumtray.exe", "MZ");
  Create();
  StartTrayCompanion(&context_);
  std::string path;
  ASSERT_TRUE(HasRunValue(&path));
  EXPECT_EQ(path, "\"lumtray.exe\"");
  ASSERT_NE(winsim::RunningCompanion(), nullptr);
  EXPECT_EQ(winsim::RunningCompanion()->image, "C:\\lumtray.exe");
}

TEST_F(TrayCompanionTest, MissingExecutableLeavesTheRunValueAndIsNotRetried) {
  winsim::HostPath tray = winsim::ResolvePath(kTray);
  std::filesystem::remove(tray.path);
  Create();
  StartTrayCompanion(&context_);
  EXPECT_TRUE(HasRunValue());
  EXPECT_EQ(Calls("CreateProcessWithTokenW").size(), 1u);
  EXPECT_EQ(test::LogLines(context_).back(),
            "The tray companion starts at the next sign-in: no desktop user to start it for now.");
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(winsim::RunningCompanion(), nullptr);
}

TEST_F(TrayCompanionTest, LockedRunKeyOnlySkipsTheRegistration) {
  Create();
  AddFault("RegOpenKeyExA", ERROR_ACCESS_DENIED, "CurrentVersion\\Run");
  StartTrayCompanion(&context_);
  EXPECT_FALSE(HasRunValue());
  EXPECT_NE(winsim::RunningCompanion(), nullptr);
}

TEST_F(TrayCompanionTest, OutsideServerModeTheVersionGatesEverything) {
  Create(kX64First);
  struct Case {
    DWORD platform, major;
    bool starts;
  };
  for (const Case& c : {Case{2, 5, false}, Case{1, 10, false}, Case{2, 6, true}, Case{2, 10, true}}) {
    M().os.platformId = c.platform;
    M().os.majorVersion = c.major;
    M().os.minorVersion = 0;
    winsim::DeleteRegValue(kRunKey, "LumascribeTray");
    M().trace.clear();
    StartTrayCompanion(&context_);
    EXPECT_EQ(Calls("GetVersionExA").size(), 1u);
    EXPECT_EQ(HasRunValue(), c.starts) << c.platform << " " << c.major;
    EXPECT_EQ(Calls("CreateProcessWithTokenW").size(), c.starts ? 1u : 0u) << c.platform << " " << c.major;
  }
}

TEST_F(TrayCompanionTest, LongPathIsRegisteredWholeAndStartedCutTo259Characters) {
  std::string dir = "C:\\" + std::string(250, 'a') + "\\" + std::string(120, 'b') + "\\";
  Create();
  AssignString(context_.moduleDir, U16(dir).c_str());
  StartTrayCompanion(&context_);
  std::string whole = "C:\\" + std::string(250, 'a') + "\\lumtray.exe";
  std::string path;
  ASSERT_TRUE(HasRunValue(&path));
  EXPECT_EQ(path, "\"" + whole + "\"");
  ASSERT_EQ(Calls("CreateProcessWithTokenW").size(), 1u);
  EXPECT_EQ(Calls("CreateProcessWithTokenW")[0].detail, "\"" + whole.substr(0, 259) + "\" flags 32 as Bob");
}

TEST_F(TrayCompanionTest, NoCompanionRunning) {
  SetRunValue(kTray);  // as earlier versions wrote it, unquoted
  StopTrayCompanion(TrayFile::Delete);
  // The mutex was created here: no window search, no wait; the file and value go all the same.
  EXPECT_EQ(Calls("CreateMutexA").size(), 1u);
  EXPECT_TRUE(Calls("FindWindowW").empty());
  EXPECT_TRUE(Calls("WaitForSingleObject").empty());
  EXPECT_TRUE(Calls("Sleep").empty());
  EXPECT_FALSE(winsim::MachineFileExists(kTray));
  EXPECT_FALSE(HasRunValue());
  EXPECT_EQ(winsim::FindNamedMutex(kMutex), nullptr) << "its own mutex goes with its handle";
}

TEST_F(TrayCompanionTest, AReinstallKeepsTheExecutableItStartsAgain) {
  SetRunValue(kTray);
  StopTrayCompanion(TrayFile::Keep);
  EXPECT_TRUE(Calls("DeleteFileW").empty());
  EXPECT_TRUE(winsim::MachineFileExists(kTray));
  EXPECT_FALSE(HasRunValue());
}

TEST_F(TrayCompanionTest, MissingRunValueCostsOneSecond) {
  StopTrayCompanion(TrayFile::Delete);
  ASSERT_EQ(Calls("Sleep").size(), 1u);
  EXPECT_EQ(Calls("Sleep")[0].detail, "1000");
  EXPECT_TRUE(Calls("DeleteFileW").empty());
  EXPECT_EQ(Calls("RegDeleteValueA").size(), 1u);
  EXPECT_TRUE(winsim::MachineFileExists(kTray));
}

TEST_F(TrayCompanionTest, RunValueTooLongForTheBufferIsRemovedWithoutDeleting) {
  SetRunValue("C:\\" + std::string(300, 'x') + "\\lumtray.exe");
  StopTrayCompanion(TrayFile::Delete);
  EXPECT_TRUE(Calls("DeleteFileW").empty());
  EXPECT_EQ(Calls("Sleep").size(), 1u);
  EXPECT_FALSE(HasRunValue());
}

TEST_F(TrayCompanionTest, RunValueFillingTheBufferWithoutTerminatorStaysInside) {
  // 260 characters and no terminator: the read succeeds and the path must still end.
  std::string path = "C:\\" + std::string(257, 'z');
  winsim::SetRegValue(kRunKey, "LumascribeTray", REG_SZ, winsim::Utf16LeBytes(U16(path)));
  StopTrayCompanion(TrayFile::Delete);
  ASSERT_EQ(Calls("DeleteFileW").size(), 1u);
  EXPECT_EQ(Calls("DeleteFileW")[0].detail, path);
  EXPECT_FALSE(HasRunValue());
}

TEST_F(TrayCompanionTest, CompanionThatQuitsAtOnce) {
  ASSERT_NE(RunningCompanion({}), nullptr);
  StopTrayCompanion(TrayFile::Delete);
  EXPECT_EQ(Calls("PostMessageW").size(), 1u);
  EXPECT_EQ(Calls("WaitForSingleObject").size(), 1u);
  EXPECT_TRUE(Calls("Sleep").empty());
  EXPECT_EQ(M().clock.nowMs, 0u);
  EXPECT_EQ(winsim::RunningCompanion(), nullptr);
  EXPECT_FALSE(winsim::MachineFileExists(kTray));
  EXPECT_FALSE(HasRunValue());
  EXPECT_EQ(winsim::FindNamedMutex(kMutex), nullptr);
}

TEST_F(TrayCompanionTest, CompanionThatTakesAWhileIsWaitedForOnTheClock) {
  winsim::CompanionBehaviour slow;
  slow.quitDelayMs = 3200;
  ASSERT_NE(RunningCompanion(slow), nullptr);
  StopTrayCompanion(TrayFile::Delete);
  EXPECT_EQ(Calls("PostMessageW").size(), 1u);
  EXPECT_EQ(Calls("WaitForSingleObject").size(), 1u);
  EXPECT_EQ(M().clock.nowMs, 3200u);
  EXPECT_FALSE(winsim::MachineFileExists(kTray));
}

TEST_F(TrayCompanionTest, CompanionThatNeverQuitsIsWaitedForAtMost105Seconds) {
  winsim::CompanionBehaviour hung;
  hung.quitDelayMs = -1;
  ASSERT_NE(RunningCompanion(hung), nullptr);
  StopTrayCompanion(TrayFile::Delete);
  // 20 attempts of 5 s, then one last wait of 5 s.
  EXPECT_EQ(Calls("PostMessageW").size(), 20u);
  std::vector<uint64_t> waits = Times("WaitForSingleObject");
  ASSERT_EQ(waits.size(), 21u);
  for (size_t i = 0; i < waits.size(); ++i) EXPECT_EQ(waits[i], 5000 * i);
  // It still holds its executable: 10 tries 100 ms apart, then the value goes anyway.
  std::vector<uint64_t> deletes = Times("DeleteFileW");
  ASSERT_EQ(deletes.size(), 10u);
  EXPECT_EQ(deletes[0], 105000u);
  EXPECT_EQ(deletes[9], 105900u);
  EXPECT_EQ(Calls("Sleep").size(), 10u);
  EXPECT_EQ(M().clock.nowMs, 106000u);
  EXPECT_TRUE(winsim::MachineFileExists(kTray));
  EXPECT_FALSE(HasRunValue());
  EXPECT_NE(winsim::RunningCompanion(), nullptr);
}

TEST_F(TrayCompanionTest, WindowGoneButMutexKeptGetsOneLastWait) {
  winsim::CompanionBehaviour lingering;
  lingering.quitDelayMs = 7000;
  lingering.windowCloseDelayMs = 0;
  ASSERT_NE(RunningCompanion(lingering), nullptr);
  StopTrayCompanion(TrayFile::Delete);
  EXPECT_EQ(Calls("PostMessageW").size(), 1u);
  EXPECT_EQ(Calls("FindWindowW").size(), 2u);
  EXPECT_EQ(Times("WaitForSingleObject"), (std::vector<uint64_t>{0, 5000}));
  EXPECT_TRUE(Calls("Sleep").empty());
  EXPECT_EQ(M().clock.nowMs, 7000u) << "the last wait ends when the companion lets go";
  EXPECT_FALSE(winsim::MachineFileExists(kTray));
}

TEST_F(TrayCompanionTest, CompanionWithoutWindowIsSearchedFor20Times) {
  winsim::CompanionBehaviour windowless;
  windowless.createsWindow = false;
  ASSERT_NE(RunningCompanion(windowless), nullptr);
  StopTrayCompanion(TrayFile::Delete);
  EXPECT_EQ(Calls("FindWindowW").size(), 20u);
  EXPECT_TRUE(Calls("PostMessageW").empty());
  EXPECT_TRUE(Calls("WaitForSingleObject").empty());
  std::vector<uint64_t> sleeps = Times("Sleep");
  ASSERT_GE(sleeps.size(), 20u);
  for (size_t i = 0; i < 20; ++i) EXPECT_EQ(Calls("Sleep")[i].detail, "250");
  EXPECT_EQ(sleeps[19], 4750u);
  EXPECT_FALSE(HasRunValue());
}

TEST_F(TrayCompanionTest, CompanionThatDiesOwningItsMutexEndsTheWaitToo) {
  winsim::CompanionBehaviour crashing;
  crashing.releasesMutex = false;
  crashing.quitDelayMs = 100;
  ASSERT_NE(RunningCompanion(crashing), nullptr);
  StopTrayCompanion(TrayFile::Delete);
  // The abandoned mutex is not WAIT_OBJECT_0: the loop looks again, finds no window, waits
  // once more on the mutex it now owns and leaves.
  EXPECT_EQ(Calls("PostMessageW").size(), 1u);
  EXPECT_EQ(Times("WaitForSingleObject"), (std::vector<uint64_t>{0, 100}));
  EXPECT_EQ(M().clock.nowMs, 100u);
  EXPECT_FALSE(winsim::MachineFileExists(kTray));
  EXPECT_EQ(winsim::FindNamedMutex(kMutex), nullptr);
}

TEST_F(TrayCompanionTest, NoMutexHandleOnlyRemovesTheValue) {
  ASSERT_NE(RunningCompanion({}), nullptr);
  AddFault("CreateMutexA", ERROR_ACCESS_DENIED);
  StopTrayCompanion(TrayFile::Delete);
  EXPECT_TRUE(Calls("FindWindowW").empty());
  EXPECT_TRUE(Calls("RegQueryValueExW").empty());
  EXPECT_TRUE(Calls("DeleteFileW").empty());
  EXPECT_FALSE(HasRunValue());
  EXPECT_NE(winsim::RunningCompanion(), nullptr);
}

TEST_F(TrayCompanionTest, UnopenableRunKeyLeavesFileAndValue) {
  SetRunValue(kTray);
  AddFault("RegOpenKeyExA", ERROR_ACCESS_DENIED, "CurrentVersion\\Run");
  StopTrayCompanion(TrayFile::Delete);
  EXPECT_TRUE(winsim::MachineFileExists(kTray));
  EXPECT_TRUE(HasRunValue());
}

TEST_F(TrayCompanionTest, OtherDeleteErrorsAreRetried10msApart) {
  SetRunValue(kTray);
  AddFault("DeleteFileW", ERROR_SHARING_VIOLATION, "lumtray", 1, 2);
  StopTrayCompanion(TrayFile::Delete);
  EXPECT_EQ(Calls("DeleteFileW").size(), 3u);
  EXPECT_EQ(Times("Sleep"), (std::vector<uint64_t>{0, 10}));
  EXPECT_FALSE(winsim::MachineFileExists(kTray));
}

TEST_F(TrayCompanionTest, StopThenStartLeavesOneFreshCompanion) {
  // The reinstall's order: stop the running one, later register and start it again.
  winsim::Process* old = RunningCompanion({});
  ASSERT_NE(old, nullptr);
  uint32_t oldPid = old->pid;
  StopTrayCompanion(TrayFile::Delete);
  ASSERT_FALSE(winsim::MachineFileExists(kTray));
  winsim::WriteMachineFile(kTray, "MZ");  // the new version is copied in between
  Create();
  StartTrayCompanion(&context_);
  winsim::Process* fresh = winsim::RunningCompanion();
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh->pid, oldPid);
  EXPECT_EQ(winsim::FindNamedMutex(kMutex)->owner, fresh->pid);
}

}  // namespace
