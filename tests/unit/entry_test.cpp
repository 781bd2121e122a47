#include <gtest/gtest.h>

#include "core/entry.h"
#include "support/sim.h"

using namespace inst;
using test::U16;
using winsim::M;

namespace {

class EntryTest : public test::SimTest {};

Command Find(const std::string& word) { return FindCommand(U16(word).c_str()); }

TEST_F(EntryTest, WordsAreFoldedOnlyForAsciiLetters) {
  EXPECT_EQ(Find("install"), Command::Install);
  EXPECT_EQ(Find("InStAlL"), Command::Install);
  EXPECT_EQ(Find("IN"), Command::Install);
  EXPECT_EQ(Find("ServerInstall"), Command::Install);
  EXPECT_EQ(Find("IN_NOTRAY"), Command::Install);
  EXPECT_EQ(Find("UN"), Command::Uninstall);
  EXPECT_EQ(Find("Uninstall"), Command::Uninstall);
  EXPECT_EQ(Find("ONCHKDRV"), Command::CheckDriver);
  EXPECT_EQ(Find("oninit"), Command::Init);
  EXPECT_EQ(Find("RemoveTray"), Command::RemoveTray);
  EXPECT_EQ(Find("\xC4\xB0nstall"), Command::Unknown) << "a dotted capital I is not an i";
  EXPECT_EQ(Find("in\xC5\xBF"), Command::Unknown);
}

TEST_F(EntryTest, DefSetIsExact) {
  EXPECT_EQ(Find("def.set"), Command::SetDefault);
  EXPECT_EQ(Find("DEF.SET"), Command::Unknown);
  EXPECT_EQ(Find("def.sets"), Command::Unknown);
  EXPECT_EQ(Find("def.se"), Command::Unknown);
}

TEST_F(EntryTest, NearMissesAreUnknown) {
  for (const char* word : {"", "i", "install ", " install", "installx", "un-install", "removetra"})
    EXPECT_EQ(Find(word), Command::Unknown) << "'" << word << "'";
}

TEST_F(EntryTest, OwnerHandleIsASignExtendedDecimal) {
  uint64_t window = winsim::AddWindow("Setup", "Setup", -1);
  std::string decimal = std::to_string(window);
  EXPECT_EQ(reinterpret_cast<uint64_t>(OwnerWindow(U16(decimal).c_str())), window);
  EXPECT_EQ(reinterpret_cast<uint64_t>(OwnerWindow(U16(" \t+" + decimal + "xyz").c_str())), window);
  EXPECT_EQ(OwnerWindow(U16("junk" + decimal).c_str()), nullptr);
  EXPECT_EQ(OwnerWindow(U16("12").c_str()), nullptr) << "not a window";
}

TEST_F(EntryTest, OwnerHandleClampsTo32Bits) {
  // Negative handles are sign-extended; numbers past the range stick at its limits.
  const struct {
    const char* text;
    int64_t handle;
  } cases[] = {{"-1", -1},
               {"-2147483648", INT32_MIN},
               {"99999999999999999999", INT32_MAX},
               {"-99999999999999999999", INT32_MIN},
               {"4294967296", INT32_MAX},
               {"", 0},
               {"-", 0}};
  for (const auto& c : cases) {
    M().trace.clear();
    OwnerWindow(U16(c.text).c_str());
    ASSERT_EQ(M().trace.size(), 1u);
    EXPECT_EQ(M().trace[0].detail, std::to_string(uint64_t(c.handle))) << c.text;
  }
}

TEST_F(EntryTest, NoHelpWindowMeansOneSearchAndNoSleep) {
  CloseHelpWindows();
  EXPECT_EQ(winsim::CountCalls("FindWindowW"), 1);
  EXPECT_EQ(winsim::CountCalls("Sleep"), 0);
}

TEST_F(EntryTest, HelpWindowsAreClosedWithinTenSeconds) {
  winsim::AddWindow("HH Parent", "Lumascribe Help", 0);
  winsim::AddWindow("HH Parent", "Other Help", -1);
  winsim::AddWindow("HH Parent", "Lumascribe Help", 5000);
  CloseHelpWindows();
  EXPECT_EQ(winsim::CountCalls("PostMessageW"), 101) << "one close request per round";
  EXPECT_EQ(M().clock.nowMs, 101u * 50);
  EXPECT_EQ(FindWindowW(TEXT("HH Parent"), TEXT("Lumascribe Help")), nullptr);
  EXPECT_NE(FindWindowW(TEXT("HH Parent"), TEXT("Other Help")), nullptr) << "other help stays";
  winsim::AddWindow("HH Parent", "Lumascribe Help", -1);  // never closes: given up on
  CloseHelpWindows();
  EXPECT_EQ(M().clock.nowMs, 101u * 50 + 10000);
}

TEST_F(EntryTest, BadCommandLinesEndWithSixAndTouchNothing) {
  const char* lines[] = {"",
                         "\"\"",
                         "\"\" \"\" \"\"",
                         "unknown",
                         "def.SET 1",
                         "removetrays",
                         "\"in\"\"stall\" 99999999999999999999999",
                         "\"un\\\"install\" -5",
                         "onInit\" garbage"};
  for (const char* line : lines) {
    test::SetCommandLine(line);
    M().trace.clear();
    EXPECT_EQ(Entry(nullptr), kExitNoCommand) << line;
    for (const winsim::TraceEntry& e : M().trace)
      EXPECT_TRUE(e.call == "SetDefaultDllDirectories" || e.call == "CommandLineToArgvW" || e.call == "IsWindow")
          << line << ": " << e.call;
  }
  std::string huge(100000, 'x');
  test::SetCommandLine(huge + " " + huge);
  EXPECT_EQ(Entry(nullptr), kExitNoCommand);
  EXPECT_TRUE(M().heap.localBlocks.empty()) << "the argument vector is released";
}

const char* const kEveryKindOfRun[] = {"install", "uninstall 77", "onChkDrv", "onInit", "removetray",
                                       "def.set", "in_notray", "unknown", ""};

// Any DLL loaded before the search is narrowed could come from the tool's folder.
TEST_F(EntryTest, EveryRunFirstRestrictsTheDllSearchToTheSystemDirectory) {
  for (const char* line : kEveryKindOfRun) {
    test::RunTool(line);
    ASSERT_FALSE(M().trace.empty()) << line;
    EXPECT_EQ(M().trace[0].call, "SetDefaultDllDirectories") << line;
    EXPECT_EQ(M().trace[0].detail, std::to_string(LOAD_LIBRARY_SEARCH_SYSTEM32)) << line;
    EXPECT_EQ(winsim::CountCalls("SetDefaultDllDirectories"), 1) << line;
  }
}

TEST_F(EntryTest, WithoutARestrictedDllSearchNothingRuns) {
  test::AddFault("SetDefaultDllDirectories", ERROR_INVALID_PARAMETER);
  for (const char* line : kEveryKindOfRun) {
    EXPECT_EQ(test::RunTool(line), kExitNoCommand) << line;
    EXPECT_EQ(M().trace.size(), 1u) << line << ": no call after the failed one";
  }
}

TEST_F(EntryTest, NoCommandWordAtAll) {
  M().os.commandLine = u"\"C:\\x\\install.exe\"";
  EXPECT_EQ(Entry(nullptr), kExitNoCommand);
  M().os.commandLine = u"";
  EXPECT_EQ(Entry(nullptr), kExitNoCommand);
}

}  // namespace
