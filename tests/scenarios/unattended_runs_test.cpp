// Runs nobody watches: no log window on a window station nobody sees, a log file for every
// install and uninstall, and one such run at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "support/sim.h"
#include "support/tool_runs.h"
#include "winsim/security.h"
#include "winsim/windows.h"

using namespace test;
using winsim::M;

namespace {

using UnattendedRunTest = SimTest;

TEST_F(UnattendedRunTest, TheLogWindowShowsOnlyWhereSomeoneSeesIt) {
  const struct {
    bool visible, shift;
    const char* fault;  // an x86 file not found (an error), or the station's question failing
    bool window;
    int code;
  } kCases[] = {
      {true, true, "", true, 1},        {false, true, "", false, 1},
      {true, false, "CreateFileW", true, 100}, {false, false, "CreateFileW", false, 100},
      {true, true, "GetProcessWindowStation", false, 1}, {true, true, "GetUserObjectInformationW", false, 1},
      {true, true, "ProcessIdToSessionId", false, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.fault) + (c.visible ? " visible" : " hidden") + (c.shift ? " shift" : ""));
    winsim::ResetMachine(root_);
    M().ui.windowStationVisible = c.visible;
    M().ui.shiftDown = c.shift;
    if (*c.fault) AddFault(c.fault, ERROR_FILE_NOT_FOUND, *c.fault == 'C' ? "lmsui32.dll" : "");
    EXPECT_EQ(RunTool("install"), c.code);
    EXPECT_EQ(!M().ui.dialogs.empty(), c.window);
  }
}

TEST_F(UnattendedRunTest, EachInstallAndUninstallLeavesItsLogFile) {
  const struct {
    const char* word;
    bool planted;          // a file is already there under the name the run picks
    uint32_t failedWrite;  // the log file's WriteFile that fails; 0: none
    int code;
  } kCases[] = {{"In", false, 0, 1}, {"uninstall", false, 0, 2}, {"install", true, 0, 1}, {"install", false, 2, 1},
                {"onInit", false, 0, 102}, {"def.set", false, 0, 4}, {"removetray", false, 0, 6}};
  const std::filesystem::path temp = std::filesystem::path(root_) / "drive_c/Windows/SystemTemp";
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.word) + " " + std::to_string(c.planted) + " " + std::to_string(c.failedWrite));
    winsim::ResetMachine(root_);
    std::filesystem::remove_all(temp);
    std::filesystem::create_directories(temp);
    std::string lower = std::regex_replace(std::string(c.word), std::regex("I"), "i");
    std::string name = "Lumascribe-" + lower + "-20260101-000000-" + std::to_string(M().processes.nextPid) + ".log";
    if (c.planted) std::ofstream(temp / name) << "planted";
    if (c.failedWrite) AddFault("WriteFile", ERROR_DISK_FULL, "Lumascribe-", c.failedWrite, c.failedWrite);
    M().ui.shiftDown = true;
    EXPECT_EQ(RunTool(c.word), c.code);
    std::vector<std::filesystem::path> files(std::filesystem::directory_iterator(temp), {});
    bool writes = c.code == 1 || c.code == 2;  // install and uninstall; the probes and the rest write none
    ASSERT_EQ(files.size(), writes ? 1u + c.planted : 0u);
    if (!writes) continue;
    // A planted name is passed over, and the planted file left as it was.
    std::sort(files.begin(), files.end());
    if (c.planted) name.insert(name.size() - 4, "-2");
    EXPECT_EQ(files[0].filename(), name);
    std::ostringstream read;
    read << std::ifstream(files[0], std::ios::binary).rdbuf();
    const std::string bytes = read.str();
    std::vector<std::string> shown = ShownLog();
    if (c.planted) {
      EXPECT_EQ(std::ifstream(files[1]).get(), 'p');
    }
    // Its rights are its own: nothing inherited from a folder users may write into.
    EXPECT_EQ(winsim::SecurityText(winsim::SecurityRecord("C:\\Windows\\SystemTemp\\" + name)),
              "owner S-1-5-32-544, protected: 0x1f01ff S-1-5-18; 0x1f01ff S-1-5-32-544; 0x1f01ff " +
                  M().security.tool.sid);
    if (c.failedWrite) {
      // The run goes on as it would; the window says once why the file lacks lines.
      EXPECT_EQ(LineOf(shown, "The log file C:\\Windows\\SystemTemp\\" + name + " could not be written - ("), 1);
      EXPECT_EQ(std::count_if(shown.begin(), shown.end(),
                              [](const std::string& line) { return line.find("could not be written") != line.npos; }),
                1);
      EXPECT_EQ(bytes.substr(0, 7), "\xEF\xBB\xBFLuma");
      continue;
    }
    ASSERT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    ASSERT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    std::vector<std::string> lines = SplitLines(bytes.substr(3));
    ASSERT_GE(lines.size(), shown.size() + 2);  // and the first line, the exit code
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("Lumascribe build 2501 " + std::string(c.word) +
                                                      " 2026-01-01 00:00:00 Windows 10\\.0\\.19045")))
        << lines[0];
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 1 + long(shown.size())), shown);
    EXPECT_EQ(lines.back(), "exit code " + std::to_string(c.code));
  }
}

TEST_F(UnattendedRunTest, ASecondRunWaitsForTheFirst) {
  const struct {
    int64_t heldMs;  // -1: until a restart; -2: not held
    bool abandoned;
    int64_t nextMs;  // another run waiting before this one holds it for this long; -2: none
    int code;
    uint64_t waitedMs;
    bool goneAtOpen = false;  // the first open finds the namespace gone: its holders closed it in between
    bool noNamespaces = false;  // a system without them (Wine 8): the lock is Global\LumascribeSetup
  } kCases[] = {{-2, false, -2, 2, 0},       {5000, false, -2, 2, 5000}, {-1, false, -2, 100, 600000},
                {-1, true, -2, 2, 0},        // the first ends while the second holds it and this third waits
                {5000, false, 3000, 2, 8000}, {5000, false, -2, 2, 5000, true},
                {5000, false, -2, 2, 5000, false, true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.heldMs) + (c.abandoned ? " abandoned" : "") + " then " + std::to_string(c.nextMs));
    winsim::ResetMachine(root_);
    winsim::NamedObject held;
    held.name = c.noNamespaces ? "Global\\LumascribeSetup" : "Lock";
    held.namespaceKey = c.noNamespaces ? "" : "LumascribeSetup{S-1-5-32-544}";
    held.abandoned = c.abandoned;
    if (c.heldMs != -2) winsim::StartObjectHolder(held, c.heldMs);
    held.waits = true;
    if (c.nextMs != -2) winsim::StartObjectHolder(held, c.nextMs);
    if (c.goneAtOpen) AddFault("OpenPrivateNamespaceW", ERROR_PATH_NOT_FOUND, "", 1, 1);
    if (c.noNamespaces) AddFault("CreateBoundaryDescriptorW", ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_EQ(RunTool("uninstall"), c.code);
    EXPECT_EQ(Calls("CreatePrivateNamespaceW").size(), c.noNamespaces ? 0u : c.goneAtOpen ? 2u : 1u);
    ASSERT_EQ(Calls("CreateMutexW").size(), 1u);
    EXPECT_EQ(Calls("CreateMutexW")[0].detail,
              (c.noNamespaces ? "Global\\LumascribeSetup" : "LumascribeSetup\\Lock") + std::string(" D:P(A;;GA;;;SY)(A;;GA;;;BA)"));
    EXPECT_TRUE(std::regex_match(Calls("WaitForSingleObject")[0].detail,
                                 std::regex(c.noNamespaces ? R"(mutex Global\\LumascribeSetup 600000)"
                                                           : R"(mutex LumascribeSetup\{S-1-5-32-544\}#\d+\\Lock 600000)")));
    EXPECT_EQ(Calls("GetLocalTime")[0].ms, c.waitedMs);  // the first call after the wait
    // The namespace is closed, not destroyed, and only after the mutex was let go.
    ASSERT_EQ(Calls("ClosePrivateNamespace").size(), c.noNamespaces ? 0u : 1u);
    if (!c.noNamespaces) {
      EXPECT_EQ(Calls("ClosePrivateNamespace")[0].detail, "namespace LumascribeSetup{S-1-5-32-544}");
    }
    auto at = [](const char* call) {
      return std::find_if(M().trace.begin(), M().trace.end(), [&](const winsim::TraceEntry& e) { return e.call == call; });
    };
    if (c.code != 100) {
      if (!c.noNamespaces) {
        EXPECT_LT(at("ReleaseMutex"), at("ClosePrivateNamespace"));
      }
      continue;
    }
    // Nothing else was asked or changed: the run ends with its error.
    EXPECT_EQ(ShownLog(), std::vector<std::string>({"Lumascribe 2501",
                                                    "Error(27): Another install or uninstall holds "
                                                    "the setup lock: nothing was changed. - "
                                                    "(The wait operation timed out.)"}));
    EXPECT_TRUE(Calls("EnumMonitorsW").empty());
    EXPECT_TRUE(Calls("OpenSCManagerW").empty());
  }
}

}  // namespace
