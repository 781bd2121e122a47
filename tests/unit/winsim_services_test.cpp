#include <gtest/gtest.h>

#include "support/sim.h"

using test::AddFault;
using test::Spooler;
using test::U16;
using winsim::M;

namespace {

class WinsimServicesTest : public test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager_, nullptr);
  }
  void TearDown() override {
    CloseServiceHandle(manager_);
    SimTest::TearDown();
  }
  SC_HANDLE Open(DWORD access) { return OpenServiceW(manager_, u"Spooler", access); }
  SC_HANDLE manager_ = nullptr;
};

TEST_F(WinsimServicesTest, HandlesOnlyDoWhatTheyWereOpenedFor) {
  SetLastError(ERROR_ACCESS_DENIED);
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS)) << "a successful open clears the last error";
  EXPECT_TRUE(CloseServiceHandle(manager));
  SC_HANDLE query = Open(SERVICE_QUERY_STATUS | SERVICE_START);
  SERVICE_STATUS status = {};
  EXPECT_FALSE(ControlService(query, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Spooler().state, DWORD(SERVICE_RUNNING));
  SC_HANDLE stop = Open(SERVICE_STOP);
  EXPECT_FALSE(QueryServiceStatus(stop, &status));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  SC_HANDLE all = Open(GENERIC_EXECUTE | GENERIC_READ);
  EXPECT_TRUE(ControlService(all, SERVICE_CONTROL_STOP, &status)) << "generic rights map to specific ones";
  EXPECT_FALSE(QueryServiceStatus(manager_, &status)) << "a manager handle is no service handle";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  for (SC_HANDLE handle : {query, stop, all}) EXPECT_TRUE(CloseServiceHandle(handle));
  EXPECT_FALSE(CloseServiceHandle(all));
  EXPECT_EQ(OpenServiceW(manager_, u"nosuch", SERVICE_START), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(WinsimServicesTest, StopAndStartTakeSimulatedTime) {
  Spooler().stopDelayMs = 300;
  Spooler().startDelayMs = 500;
  SC_HANDLE service = Open(SERVICE_ALL_ACCESS);
  SERVICE_STATUS status = {};
  ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOP_PENDING));
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
  EXPECT_FALSE(StartServiceW(service, 0, nullptr)) << "still stopping";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_ALREADY_RUNNING));
  Sleep(299);
  ASSERT_TRUE(QueryServiceStatus(service, &status));
  EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOP_PENDING));
  Sleep(1);
  ASSERT_TRUE(QueryServiceStatus(service, &status));
  EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));

  status = SERVICE_STATUS{};
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_NOT_ACTIVE));
  EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED)) << "the refusal reports the status";

  ASSERT_TRUE(StartServiceW(service, 0, nullptr));
  Sleep(499);
  EXPECT_FALSE(winsim::ServiceRunning("spooler"));
  Sleep(1);
  EXPECT_TRUE(winsim::ServiceRunning("spooler"));
  CloseServiceHandle(service);
}

TEST_F(WinsimServicesTest, SpoolerCallsNeedARunningSpooler) {
  std::u16string fax = U16("Fax");
  HANDLE before = nullptr;
  ASSERT_TRUE(OpenPrinterW(fax.data(), &before, nullptr));
  Spooler().state = SERVICE_STOPPED;
  DWORD needed = 0, count = 0;
  WCHAR name[64];
  DWORD length = 64;
  EXPECT_FALSE(EnumPrintersW(6, nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_FALSE(GetDefaultPrinterW(name, &length));
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
  HANDLE printer = nullptr;
  EXPECT_FALSE(OpenPrinterW(fax.data(), &printer, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));

  // A new spooler process does not know the old one's handles.
  SC_HANDLE service = Open(SERVICE_START);
  ASSERT_TRUE(StartServiceW(service, 0, nullptr));
  Sleep(Spooler().startDelayMs);
  CloseServiceHandle(service);
  EXPECT_FALSE(GetPrinterW(before, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(ClosePrinter(before));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(WinsimServicesTest, TheStateSurvivesTheMachineFile) {
  Spooler().state = SERVICE_STOP_PENDING;
  Spooler().stopDelayMs = -1;
  M().spooler.printers[1].comment = "second floor";
  M().spooler.defaultPrinter = "Fax";
  ASSERT_TRUE(winsim::SaveMachine(root_));
  winsim::ResetMachine(root_);
  ASSERT_TRUE(winsim::LoadMachine(root_));
  EXPECT_EQ(Spooler().state, DWORD(SERVICE_STOP_PENDING));
  EXPECT_EQ(Spooler().stopDelayMs, -1);
  EXPECT_EQ(M().spooler.printers.at(1).comment, "second floor");
  EXPECT_EQ(M().spooler.printers.at(2).attributes, DWORD(0x4240));
  EXPECT_EQ(M().spooler.defaultPrinter, "Fax");
  manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);  // the old handle went with the run
}

}  // namespace
