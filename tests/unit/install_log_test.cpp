#include <gtest/gtest.h>

#include "core/install_log.h"
#include "support/sim.h"

using namespace inst;
using test::LogLines;

namespace {

class InstallLogTest : public test::SimTest {
 protected:
  void TearDown() override {
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  InstallContext context_{};
};

TEST_F(InstallLogTest, IndentationIsTwoSpacesPerLevelUpToTen) {
  const struct {
    int indent;
    size_t spaces;
  } cases[] = {{0, 0}, {3, 6}, {10, 20}, {25, 20}, {-1, 0}};
  for (const auto& c : cases) {
    context_.indent = c.indent;
    LogLine(&context_, TEXT(">Marker %d"), c.indent);
  }
  std::vector<std::string> lines = LogLines(context_);
  ASSERT_EQ(lines.size(), 5u);
  for (size_t i = 0; i < 5; ++i)
    EXPECT_EQ(lines[i], std::string(cases[i].spaces, ' ') + ">Marker " + std::to_string(cases[i].indent));
}

TEST_F(InstallLogTest, EmptyAndMissingTextsGiveBareLines) {
  context_.indent = 1;
  LogLine(&context_, TEXT(""));
  WriteLogLine(&context_, nullptr);
  EXPECT_EQ(test::U8(Text(context_.logText)), "  \r\n  \r\n");
}

TEST_F(InstallLogTest, ErrorLineCarriesTheSystemTextOfTheLastError) {
  context_.indent = 2;
  SetLastError(ERROR_ACCESS_DENIED);
  ReportError(&context_, 7, TEXT("Can`t retrieve system directory."));
  EXPECT_EQ(LogLines(context_),
            std::vector<std::string>{"    Error(7): Can`t retrieve system directory. - (Access is denied.)"});
  EXPECT_EQ(context_.errorCount, 1);
}

TEST_F(InstallLogTest, ErrorLineWithoutLastErrorHasNoSuffixButCounts) {
  SetLastError(0);
  ReportError(&context_, 7, TEXT("Can`t retrieve system directory."));
  EXPECT_EQ(LogLines(context_), std::vector<std::string>{"Error(7): Can`t retrieve system directory."});
  EXPECT_EQ(context_.errorCount, 1);
}

TEST_F(InstallLogTest, UnknownCodeHasNoDescription) {
  SetLastError(0x1234567);
  ReportError(&context_, 5, TEXT("ControlService failed with code %d (0x%x)"), 0x1234567, 0x1234567);
  EXPECT_EQ(LogLines(context_),
            std::vector<std::string>{
                "Error(5): ControlService failed with code 19088743 (0x1234567) - ( No Description )"});
}

TEST_F(InstallLogTest, LongErrorLinesStayWithinTheLineBound) {
  std::u16string name(5000, u'p');
  SetLastError(ERROR_INVALID_PRINTER_NAME);
  ReportError(&context_, 15, TEXT("Can`t add printer '%s'"), name.c_str());
  std::vector<std::string> lines = LogLines(context_);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), kMaxFormatted);
  EXPECT_EQ(lines[0].substr(0, 30), "Error(15): Can`t add printer '");
  EXPECT_EQ(context_.errorCount, 1);
}

TEST_F(InstallLogTest, SystemErrorTextDropsOnlyTheTrailingLineBreak) {
  WCHAR* text = SystemErrorText(ERROR_SHARING_VIOLATION);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(test::U8(text), "The process cannot access the file because it is being used by another process.");
  LocalFree(text);
  EXPECT_EQ(SystemErrorText(0xDEAD), nullptr);
  text = SystemErrorText(0);
  ASSERT_NE(text, nullptr) << "code 0 has a text too";
  EXPECT_EQ(test::U8(text), "The operation completed successfully.");
  LocalFree(text);
}

}  // namespace
