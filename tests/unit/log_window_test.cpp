#include <gtest/gtest.h>

#include "core/install_log.h"
#include "support/sim.h"

using namespace inst;
using winsim::DialogAnswer;
using winsim::M;

namespace {

class LogWindowTest : public test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    CreateInstallContext(&context_, kServerMode | kX64First);
  }
  void TearDown() override {
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  InstallContext context_{};
};

TEST_F(LogWindowTest, NoWindowWithoutErrorsOrShift) {
  ShowLogWindow(&context_, nullptr);
  EXPECT_TRUE(M().ui.dialogs.empty());
  EXPECT_EQ(winsim::CountCalls("DialogBoxParamW"), 0);
}

TEST_F(LogWindowTest, ShiftShowsTheLogTitledLog) {
  M().ui.shiftDown = true;
  ShowLogWindow(&context_, nullptr);
  ASSERT_EQ(M().ui.dialogs.size(), 1u);
  const winsim::DialogRecord& shown = M().ui.dialogs[0];
  EXPECT_EQ(shown.templateId, 101);
  EXPECT_EQ(shown.title, "Lumascribe build 2501- Install log.");
  EXPECT_EQ(shown.itemTexts.at(1001), test::U8(Text(context_.logText)));
  EXPECT_EQ(shown.owner, 0u);
}

TEST_F(LogWindowTest, AnErrorShowsTheErrorLogWithItsOwner) {
  uint64_t owner = winsim::AddWindow("SetupWindow", "Setup", -1);
  SetLastError(0);
  ReportError(&context_, 7, TEXT("Can`t retrieve system directory."));
  ShowLogWindow(&context_, reinterpret_cast<HWND>(owner));
  ASSERT_EQ(M().ui.dialogs.size(), 1u);
  EXPECT_EQ(M().ui.dialogs[0].title, "Lumascribe build 2501- Install error log!");
  EXPECT_EQ(M().ui.dialogs[0].owner, owner);
}

TEST_F(LogWindowTest, CloseAndEnterGiveOneEscapeAndCloseBoxZero) {
  const struct {
    DialogAnswer answer;
    int64_t result;
  } cases[] = {{DialogAnswer::CloseButton, 1}, {DialogAnswer::Enter, 1}, {DialogAnswer::Escape, 0},
               {DialogAnswer::CloseBox, 0}};
  M().ui.shiftDown = true;
  for (const auto& c : cases) {
    M().ui.dialogAnswer = c.answer;
    ShowLogWindow(&context_, nullptr);
    EXPECT_EQ(M().ui.dialogs.back().result, c.result);
  }
  EXPECT_EQ(M().ui.dialogs.size(), 4u);
}

TEST_F(LogWindowTest, AnEmptyLogShowsAnEmptyText) {
  FreeString(context_.logText);
  M().ui.shiftDown = true;
  ShowLogWindow(&context_, nullptr);
  EXPECT_EQ(M().ui.dialogs.at(0).itemTexts.at(1001), "");
}

TEST_F(LogWindowTest, ADialogThatCannotBeCreatedIsPassedOver) {
  M().ui.dialogsFail = true;
  M().ui.shiftDown = true;
  ShowLogWindow(&context_, nullptr);
  EXPECT_EQ(winsim::CountCalls("DialogBoxParamW"), 1);
  EXPECT_TRUE(M().ui.dialogs.empty());
}

TEST_F(LogWindowTest, OtherCommandsDoNotCloseTheWindow) {
  HWND dialog = reinterpret_cast<HWND>(uint64_t(0x999));
  EXPECT_EQ(LogWindowProc(dialog, WM_COMMAND, 1001, 0), 0);
  EXPECT_EQ(winsim::CountCalls("EndDialog"), 0);
}

}  // namespace
