#include <gtest/gtest.h>

#include "core/install_log.h"
#include "support/sim.h"
#include "system/spooler_service.h"

using namespace inst;
using test::AddFault;
using test::Calls;
using test::LogLines;
using test::Spooler;
using winsim::M;

namespace {

class SpoolerServiceTest : public test::SimTest {
 protected:
  void TearDown() override {
    DestroyInstallContext(&context_);
    SimTest::TearDown();
  }
  // Status queries and sleeps between the first and the last call of `from` .. `to`.
  static int CountBetween(const std::string& call, size_t from, size_t to) {
    int n = 0;
    for (size_t i = from; i < to && i < M().trace.size(); ++i) n += M().trace[i].call == call;
    return n;
  }
  static size_t IndexOf(const std::string& call, size_t from = 0) {
    for (size_t i = from; i < M().trace.size(); ++i)
      if (M().trace[i].call == call) return i;
    return M().trace.size();
  }
  InstallContext context_{};
};

// --- CheckSpooler ---

TEST_F(SpoolerServiceTest, CheckOnARunningSpoolerOnlyLogsItsMarker) {
  context_.indent = 2;
  EXPECT_TRUE(CheckSpooler(&context_));
  EXPECT_EQ(LogLines(context_), (std::vector<std::string>{"    >Check Spooler"}));
  EXPECT_EQ(context_.indent, 2);
  EXPECT_EQ(winsim::CountCalls("StartServiceW"), 0);
  EXPECT_EQ(Calls("OpenSCManagerW").at(0).detail, "0xf0001");
  EXPECT_EQ(Calls("OpenServiceW").at(0).detail, "spooler 0x14");
}

TEST_F(SpoolerServiceTest, CheckStartsAStoppedSpoolerAndWaitsForIt) {
  Spooler().state = SERVICE_STOPPED;
  Spooler().startDelayMs = 900;
  EXPECT_TRUE(CheckSpooler(&context_));
  EXPECT_EQ(Spooler().state, DWORD(SERVICE_RUNNING));
  EXPECT_EQ(winsim::CountCalls("Sleep"), 5) << "900 ms in 200 ms polls";
  EXPECT_EQ(LogLines(context_).size(), 1u);
  EXPECT_EQ(context_.errorCount, 0);
}

TEST_F(SpoolerServiceTest, CheckReportsASpoolerThatNeverRuns) {
  Spooler().state = SERVICE_STOPPED;
  Spooler().startDelayMs = -1;
  EXPECT_FALSE(CheckSpooler(&context_));
  EXPECT_EQ(winsim::CountCalls("Sleep"), 50);
  EXPECT_EQ(winsim::CountCalls("QueryServiceStatus"), 52) << "the check, then 51 polls";
  EXPECT_EQ(M().clock.nowMs, 10000u);
  std::vector<std::string> lines = LogLines(context_);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "  Error(4): Can't start the spooler") << "no call failed, so no system text";
  EXPECT_EQ(context_.indent, 0);
}

TEST_F(SpoolerServiceTest, CheckWithAFailedStatusQueryStartsNothing) {
  Spooler().state = SERVICE_STOPPED;
  AddFault("QueryServiceStatus", ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CheckSpooler(&context_));
  EXPECT_EQ(winsim::CountCalls("StartServiceW"), 0);
  EXPECT_EQ(LogLines(context_).size(), 1u);
}

TEST_F(SpoolerServiceTest, CheckWithoutManagerOrService) {
  AddFault("OpenSCManagerW", ERROR_ACCESS_DENIED, "", 1, 1);
  EXPECT_FALSE(CheckSpooler(&context_));
  AddFault("OpenServiceW", ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_FALSE(CheckSpooler(&context_));
  EXPECT_EQ(LogLines(context_), (std::vector<std::string>{
                                    ">Check Spooler",
                                    "  Error(1): Can't open service manager. - (Access is denied.)",
                                    ">Check Spooler",
                                    "  Error(2): Can't open the spooler - (The specified service does "
                                    "not exist as an installed service.)",
                                }));
  EXPECT_EQ(context_.indent, 0);
  EXPECT_EQ(winsim::CountCalls("CloseServiceHandle"), 1) << "the manager of the second check";
}

// --- RestartSpooler ---

TEST_F(SpoolerServiceTest, AScopeStopsTheSpoolerAndItsEndStartsIt) {
  context_.indent = 1;
  {
    SpoolerRestart restart;
    RestartSpooler(&restart, &context_);
    EXPECT_EQ(Spooler().state, DWORD(SERVICE_STOPPED));
    EXPECT_EQ(Calls("OpenServiceW").at(0).detail, "spooler 0x34");
  }
  EXPECT_EQ(Spooler().state, DWORD(SERVICE_RUNNING));
  EXPECT_EQ(LogLines(context_), (std::vector<std::string>{"  >Restart Spooler"}));
  EXPECT_EQ(context_.indent, 1);
  EXPECT_EQ(winsim::CountCalls("CloseServiceHandle"), 2);
}

TEST_F(SpoolerServiceTest, TheEndRunsOnAnEarlyReturn) {
  auto stepThatGivesUp = [this]() {
    SpoolerRestart restart;
    RestartSpooler(&restart, &context_);
    if (Spooler().state == SERVICE_STOPPED) return false;
    return true;
  };
  EXPECT_FALSE(stepThatGivesUp());
  EXPECT_EQ(Spooler().state, DWORD(SERVICE_RUNNING));
}

TEST_F(SpoolerServiceTest, AnAlreadyStoppedSpoolerIsNotAnError) {
  Spooler().state = SERVICE_STOPPED;
  {
    SpoolerRestart restart;
    RestartSpooler(&restart, &context_);
    EXPECT_EQ(winsim::CountCalls("QueryServiceStatus"), 1) << "the first poll sees it stopped";
    EXPECT_EQ(winsim::CountCalls("Sleep"), 0);
  }
  EXPECT_EQ(context_.errorCount, 0);
  EXPECT_EQ(Spooler().state, DWORD(SERVICE_RUNNING));
}

TEST_F(SpoolerServiceTest, AStopThatNeverCompletesIsPolledFiftyTimesThenStartedAnyway) {
  Spooler().stopDelayMs = -1;
  {
    SpoolerRestart restart;
    RestartSpooler(&restart, &context_);
    EXPECT_EQ(M().clock.nowMs, 10000u);
  }
  size_t control = IndexOf("ControlService");
  size_t start = IndexOf("StartServiceW");
  ASSERT_LT(start, M().trace.size()) << "the end starts the service";
  EXPECT_EQ(CountBetween("QueryServiceStatus", control, start), 51);
  EXPECT_EQ(CountBetween("Sleep", control, start), 50);
  for (const winsim::TraceEntry& sleep : Calls("Sleep")) EXPECT_EQ(sleep.detail, "200");
  EXPECT_EQ(M().trace[start].ms, 10000u);
  // Still stopping, so the start is refused and the end's own 50 polls run out too.
  EXPECT_EQ(CountBetween("QueryServiceStatus", start, M().trace.size()), 51);
  std::vector<std::string> lines = LogLines(context_);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "Error(3): Can't stop the spooler");
  EXPECT_EQ(lines[2], "Error(4): Can't start the spooler - (An instance of the service is already running.)");
}

TEST_F(SpoolerServiceTest, ARefusedStopIsReportedWithItsCodeAndStillWaitedFor) {
  AddFault("ControlService", ERROR_ACCESS_DENIED, "spooler");
  {
    SpoolerRestart restart;
    RestartSpooler(&restart, &context_);
    EXPECT_TRUE(restart.stopRequested);
  }
  EXPECT_EQ(winsim::CountCalls("Sleep"), 50);
  EXPECT_EQ(winsim::CountCalls("StartServiceW"), 1);
  EXPECT_EQ(LogLines(context_), (std::vector<std::string>{
                                    ">Restart Spooler",
                                    "Error(5): ControlService failed with code 5 (0x5) - (Access is denied.)",
                                    "Error(3): Can't stop the spooler - (Access is denied.)",
                                }))
      << "running all along, so the end finds it running";
}

TEST_F(SpoolerServiceTest, NoManagerMeansAnEndThatDoesNothing) {
  AddFault("OpenSCManagerW", RPC_S_SERVER_UNAVAILABLE);
  {
    SpoolerRestart restart;
    RestartSpooler(&restart, &context_);
  }
  EXPECT_EQ(context_.errorCount, 1);
  EXPECT_EQ(LogLines(context_).back(), "Error(1): Can't open service manager. - (The RPC server is unavailable.)");
  EXPECT_EQ(winsim::CountCalls("StartServiceW") + winsim::CountCalls("CloseServiceHandle"), 0);
}

TEST_F(SpoolerServiceTest, ANullContextScopeStillRestartsWhateverFails) {
  Spooler().stopDelayMs = -1;
  Spooler().startDelayMs = -1;
  {
    SpoolerRestart restart;
    RestartSpooler(&restart, nullptr);
  }
  EXPECT_EQ(winsim::CountCalls("StartServiceW"), 1);
  Spooler().state = SERVICE_RUNNING;
  AddFault("OpenServiceW", ERROR_ACCESS_DENIED);
  {
    SpoolerRestart restart;
    RestartSpooler(&restart, nullptr);
  }
  EXPECT_EQ(winsim::CountCalls("StartServiceW"), 1) << "only the scope that opened the service";
  EXPECT_EQ(winsim::CountCalls("FormatMessageW"), 0) << "no error text was asked for";
}

}  // namespace
