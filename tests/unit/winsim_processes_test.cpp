#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/sim.h"
#include "winsim/file_state.h"
#include "winsim/windows.h"

using test::AddFault;
using test::U16;
using winsim::M;

namespace {

const char kTray[] = "C:\\Program Files\\Lumascribe\\lumtray.exe";
const char kMutex[] = "{6F3B2D10-4C7A-4E19-9B52-3A7D0C1E8F64}";
const char16_t kClass[] = u"lsv::{2E8D4A61-7B90-4C3F-A1D5-6C0B9E27F4A8}";

class WinsimProcessesTest : public test::SimTest {
 protected:
  // CreateProcessW as the tool calls it; the process and thread handles are closed again.
  static BOOL Start(const std::string& commandLine, PROCESS_INFORMATION* info = nullptr) {
    std::u16string line = U16(commandLine);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                                  nullptr, &startup, &process);
    if (info) {
      *info = process;
    } else if (started) {
      CloseHandle(process.hProcess);
      CloseHandle(process.hThread);
    }
    return started;
  }
  static BOOL PostQuit() { return PostMessageW(FindWindowW(kClass, nullptr), 0x402, 0, 0); }
};

TEST_F(WinsimProcessesTest, VersionAnswerDependsOnTheManifest) {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  ASSERT_TRUE(GetVersionExA(&info));
  // The tool's manifest declares no newer system: Windows 10 says it is Windows 8.
  EXPECT_EQ(info.dwPlatformId, DWORD(VER_PLATFORM_WIN32_NT));
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_EQ(info.dwMinorVersion, 2u);
  EXPECT_EQ(info.dwBuildNumber, 9200u);
  M().os.manifestDeclaresWindows10 = true;
  OSVERSIONINFOEXA ex = {};
  ex.dwOSVersionInfoSize = sizeof(ex);
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
  EXPECT_EQ(ex.dwMajorVersion, 10u);
  EXPECT_EQ(ex.dwBuildNumber, 19045u);
  EXPECT_EQ(ex.wProductType, VER_NT_WORKSTATION);
  // An older system is told as it is, manifest or not.
  M().os.manifestDeclaresWindows10 = false;
  M().os.majorVersion = 5;
  M().os.minorVersion = 1;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  info.dwOSVersionInfoSize = 100;
  EXPECT_FALSE(GetVersionExA(&info));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(WinsimProcessesTest, DllSearchTakesOnlyTheSearchFlags) {
  const struct {
    DWORD flags;
    bool accepted;
  } cases[] = {{LOAD_LIBRARY_SEARCH_SYSTEM32, true},
               {LOAD_LIBRARY_SEARCH_DEFAULT_DIRS | LOAD_LIBRARY_SEARCH_SYSTEM32, true},
               {LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS, true},
               {0, false},
               {0x100, false},  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR: only for one load
               {LOAD_LIBRARY_SEARCH_SYSTEM32 | 0x8, false}};  // LOAD_WITH_ALTERED_SEARCH_PATH
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(SetDefaultDllDirectories(c.flags), c.accepted ? TRUE : FALSE) << c.flags;
    EXPECT_EQ(GetLastError(), c.accepted ? 0u : DWORD(ERROR_INVALID_PARAMETER)) << c.flags;
  }
}

TEST_F(WinsimProcessesTest, CommandLineFindsItsProgramAsWindowsDoes) {
  winsim::WriteMachineFile("C:\\Program Files\\tool.exe", "MZ");
  winsim::WriteMachineFile("C:\\Windows\\system32\\helper.exe", "MZ");
  winsim::WriteMachineFile("C:\\Program Files\\Lumascribe\\install\\local.exe", "MZ");
  std::filesystem::create_directories(winsim::ResolvePath("C:\\dir.exe").path);
  struct Case {
    const char* line;
    const char* image;  // empty: fails with `error`
    DWORD error;
  };
  const Case cases[] = {
      {"\"C:\\Program Files\\tool.exe\" /x", "C:\\Program Files\\tool.exe", 0},
      {"C:\\Program Files\\tool.exe /x", "C:\\Program Files\\tool.exe", 0},
      {"\"C:\\Program Files\\tool\"", "C:\\Program Files\\tool.exe", 0},
      {"helper", "C:\\Windows\\system32\\helper.exe", 0},
      {"\"local.exe\"", "C:\\Program Files\\Lumascribe\\install\\local.exe", 0},
      {"\"C:\\Program Files\\none.exe\"", "", ERROR_FILE_NOT_FOUND},
      {"\"C:\\Nowhere\\tool.exe\"", "", ERROR_PATH_NOT_FOUND},
      {"\"C:\\Program Files\"", "", ERROR_FILE_NOT_FOUND},
      {"\"C:\\dir.exe\"", "", ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    PROCESS_INFORMATION info = {};
    BOOL started = Start(c.line, &info);
    ASSERT_EQ(started, c.image[0] != 0) << c.line;
    if (!started) {
      EXPECT_EQ(GetLastError(), c.error) << c.line;
      continue;
    }
    winsim::Process* p = winsim::FindProcess(info.dwProcessId);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->image, c.image) << c.line;
    EXPECT_EQ(p->commandLine, c.line);
    EXPECT_TRUE(CloseHandle(info.hProcess));
    EXPECT_TRUE(CloseHandle(info.hThread));
    EXPECT_FALSE(CloseHandle(info.hThread)) << "closed twice";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  }
}

TEST_F(WinsimProcessesTest, RunningCompanionHoldsMutexWindowAndFile) {
  ASSERT_TRUE(Start(std::string("\"") + kTray + "\""));
  winsim::Process* companion = winsim::RunningCompanion();
  ASSERT_NE(companion, nullptr);
  HWND window = FindWindowW(kClass, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(uint64_t(reinterpret_cast<uintptr_t>(window)), companion->window);
  std::u16string path = U16(kTray);
  EXPECT_FALSE(DeleteFileW(path.c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  HANDLE mutex = CreateMutexA(nullptr, TRUE, kMutex);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(winsim::FindNamedMutex(kMutex)->owner, companion->pid) << "an existing mutex is not taken over";
  EXPECT_FALSE(ReleaseMutex(mutex));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_OWNER));
  // A second companion finds the mutex and leaves at once.
  uint32_t first = companion->pid;
  ASSERT_TRUE(Start(std::string("\"") + kTray + "\""));
  EXPECT_EQ(winsim::RunningCompanion()->pid, first);
  EXPECT_TRUE(CloseHandle(mutex));
}

TEST_F(WinsimProcessesTest, QuitMessageEndsTheCompanionAfterItsDelay) {
  M().processes.companion.quitDelayMs = 1500;
  ASSERT_TRUE(Start(std::string("\"") + kTray + "\""));
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kMutex);
  // Other messages are not its quit request.
  EXPECT_TRUE(PostMessageW(FindWindowW(kClass, nullptr), WM_CLOSE, 0, 0));
  EXPECT_EQ(WaitForSingleObject(mutex, 3000), DWORD(WAIT_TIMEOUT));
  EXPECT_EQ(M().clock.nowMs, 3000u);
  ASSERT_TRUE(PostQuit());
  EXPECT_NE(FindWindowW(kClass, nullptr), nullptr) << "the window stays until the exit";
  EXPECT_EQ(WaitForSingleObject(mutex, 1000), DWORD(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(mutex, 1000), DWORD(WAIT_OBJECT_0));
  EXPECT_EQ(M().clock.nowMs, 4500u) << "the wait ends when the companion lets go";
  EXPECT_EQ(winsim::RunningCompanion(), nullptr);
  EXPECT_EQ(FindWindowW(kClass, nullptr), nullptr);
  std::u16string path = U16(kTray);
  EXPECT_TRUE(DeleteFileW(path.c_str()));
  // Owned twice now: two releases, then no more.
  EXPECT_EQ(WaitForSingleObject(mutex, 0), DWORD(WAIT_OBJECT_0));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_FALSE(ReleaseMutex(mutex));
  EXPECT_TRUE(CloseHandle(mutex));
  EXPECT_EQ(winsim::FindNamedMutex(kMutex), nullptr);
}

TEST_F(WinsimProcessesTest, MutexOfACompanionThatDiesOwningItIsAbandoned) {
  M().processes.companion.releasesMutex = false;
  ASSERT_TRUE(Start(std::string("\"") + kTray + "\""));
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kMutex);
  ASSERT_TRUE(PostQuit());
  EXPECT_EQ(WaitForSingleObject(mutex, 0), DWORD(WAIT_ABANDONED));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), DWORD(WAIT_OBJECT_0)) << "abandoned only once";
  EXPECT_TRUE(CloseHandle(mutex));
}

TEST_F(WinsimProcessesTest, WaitingForEverOnACompanionThatNeverQuitsIsReported) {
  M().processes.companion.quitDelayMs = -1;
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(Start(std::string("\"") + kTray + "\"", &info));
  ASSERT_TRUE(PostQuit());
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 60000), DWORD(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_POSSIBLE_DEADLOCK));
  EXPECT_EQ(M().clock.nowMs, 60000u);
  EXPECT_TRUE(CloseHandle(info.hProcess));
  EXPECT_TRUE(CloseHandle(info.hThread));
}

TEST_F(WinsimProcessesTest, OwnMutexLivesWithItsHandles) {
  HANDLE first = CreateMutexA(nullptr, TRUE, "Local-test");
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
  HANDLE second = CreateMutexA(nullptr, FALSE, "Local-test");
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  HANDLE other = CreateMutexA(nullptr, FALSE, "local-TEST");
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS)) << "names are case-sensitive";
  EXPECT_EQ(WaitForSingleObject(second, 0), DWORD(WAIT_OBJECT_0)) << "the owner may wait again";
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_NE(winsim::FindNamedMutex("Local-test"), nullptr);
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_EQ(winsim::FindNamedMutex("Local-test"), nullptr);
  EXPECT_TRUE(CloseHandle(other));
  EXPECT_EQ(WaitForSingleObject(other, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(WinsimProcessesTest, RunValueStartsTheCompanionAtLogon) {
  winsim::SetRegValue("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "LumascribeTray", REG_SZ,
                      winsim::RegSzBytes(kTray));
  winsim::SetRegValue("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Gone", REG_SZ,
                      winsim::RegSzBytes("C:\\gone.exe"));
  ASSERT_TRUE(Start(std::string("\"") + kTray + "\""));
  uint32_t before = winsim::RunningCompanion()->pid;
  winsim::Reboot();
  winsim::Process* companion = winsim::RunningCompanion();
  ASSERT_NE(companion, nullptr);
  EXPECT_NE(companion->pid, before);
  EXPECT_EQ(winsim::FindNamedMutex(kMutex)->owner, companion->pid);
  EXPECT_NE(FindWindowW(kClass, nullptr), nullptr);
  EXPECT_EQ(companion->identity.user, "Bob");  // the user who signs in, not the tool's
  // The program of the other value does not exist: it is skipped; the shell came back.
  size_t running = 0;
  for (const winsim::Process& p : M().processes.processes) running += !p.exited;
  EXPECT_EQ(running, 2u);
}

TEST_F(WinsimProcessesTest, RunningCompanionSurvivesSaveAndLoad) {
  M().processes.companion.quitDelayMs = 250;
  ASSERT_TRUE(Start(std::string("\"") + kTray + "\""));
  uint32_t pid = winsim::RunningCompanion()->pid;
  ASSERT_TRUE(winsim::SaveMachine(root_));
  ASSERT_TRUE(winsim::LoadMachine(root_));
  winsim::Process* companion = winsim::RunningCompanion();
  ASSERT_NE(companion, nullptr);
  EXPECT_EQ(companion->pid, pid);
  EXPECT_EQ(M().processes.companion.quitDelayMs, 250);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kMutex);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  ASSERT_TRUE(PostQuit());
  EXPECT_EQ(WaitForSingleObject(mutex, 5000), DWORD(WAIT_OBJECT_0));
  EXPECT_EQ(M().clock.nowMs, 250u);
  EXPECT_TRUE(CloseHandle(mutex));
  // A hand-written entry in machine.json is enough to have one running.
  std::ofstream(std::filesystem::path(root_) / "machine.json")
      << R"({"format": 1, "processes": {"running": [{"image": "C:\\Program Files\\Lumascribe\\lumtray.exe"}]}})";
  ASSERT_TRUE(winsim::LoadMachine(root_));
  ASSERT_NE(winsim::RunningCompanion(), nullptr);
  EXPECT_NE(winsim::RunningCompanion()->pid, 0u);
  EXPECT_NE(FindWindowW(kClass, nullptr), nullptr);
  EXPECT_NE(winsim::FindNamedMutex(kMutex), nullptr);
}

}  // namespace
