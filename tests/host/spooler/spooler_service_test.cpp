#include "spooler/spooler_service.h"

#include "foundation/install_state.h"
#include "test_support.h"
#include "winsim/services.h"

namespace {

constexpr const char* kTimeoutText =
    "The service did not respond to the start or control request in a timely fashion.";
constexpr const char* kDisabledText =
    "The service cannot be started, either because it is disabled or because it has no enabled "
    "devices associated with it.";

class SpoolerServiceTest : public MachineTest {
 protected:
  std::string Log() { return Utf8(state.logText.Text()); }
  winsim::Service& spooler() { return machine().services().Spooler(); }
  DWORD SpoolerState() { return machine().services().CurrentState(spooler()); }

  InstallState state;
};

struct RunningCase {
  const char* name;
  DWORD initialState;
  DWORD startDelayMs;
  unsigned starts;
  unsigned sleeps;
};

class CheckSpoolerRunsTest : public SpoolerServiceTest,
                             public ::testing::WithParamInterface<RunningCase> {};

TEST_P(CheckSpoolerRunsTest, StartsAStoppedSpoolerAndLogsOnlyItsHeading) {
  const RunningCase& c = GetParam();
  spooler().state = c.initialState;
  spooler().startDelayMs = c.startDelayMs;
  EXPECT_TRUE(CheckSpooler(state));
  EXPECT_EQ(Log(), "#Check Spooler\r\n");
  EXPECT_EQ(state.indent, 0);
  EXPECT_EQ(spooler().startsAccepted, c.starts);
  EXPECT_EQ(machine().SleepCount(), c.sleeps);
  EXPECT_EQ(SpoolerState(), static_cast<DWORD>(SERVICE_RUNNING));
}

INSTANTIATE_TEST_SUITE_P(States, CheckSpoolerRunsTest,
                         ::testing::Values(RunningCase{"running", SERVICE_RUNNING, 0, 0, 0},
                                           RunningCase{"stopped", SERVICE_STOPPED, 0, 1, 0},
                                           RunningCase{"slow", SERVICE_STOPPED, 500, 1, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

struct OpenFailureCase {
  const char* name;
  const char* failingCall;
  DWORD error;
  const char* log;
};

class CheckSpoolerOpenFailureTest : public SpoolerServiceTest,
                                    public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(CheckSpoolerOpenFailureTest, IsReportedAndEndsTheCheck) {
  const OpenFailureCase& c = GetParam();
  machine().FailCall(c.failingCall, 1, c.error);
  EXPECT_FALSE(CheckSpooler(state));
  EXPECT_EQ(Log(), c.log);
  EXPECT_EQ(state.errorCount, 1);
  EXPECT_EQ(state.indent, 0);
  EXPECT_EQ(machine().CallCount("StartServiceW"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Opens, CheckSpoolerOpenFailureTest,
    ::testing::Values(
        OpenFailureCase{"manager", "OpenSCManagerW", ERROR_ACCESS_DENIED,
                        "#Check Spooler\r\n  Error(1): Can't open service manager. - (Access is "
                        "denied.)\r\n"},
        OpenFailureCase{"service", "OpenServiceW", ERROR_SERVICE_DOES_NOT_EXIST,
                        "#Check Spooler\r\n  Error(2): Can't open the spooler - (The specified "
                        "service does not exist as an installed service.)\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SpoolerServiceTest, CheckSpoolerReportsAStartThatFailsAfterTenSeconds) {
  spooler().state = SERVICE_STOPPED;
  spooler().disabled = true;
  EXPECT_FALSE(CheckSpooler(state));
  EXPECT_EQ(Log(), std::string("#Check Spooler\r\n  Error(4): Can't start the spooler - (") +
                       kDisabledText + ")\r\n");
  EXPECT_EQ(machine().SleepCount(), 50u);
  EXPECT_EQ(machine().ElapsedMilliseconds(), 10000u);
  EXPECT_EQ(machine().CallCount("QueryServiceStatus"), 52u) << "the check's own query and 51 polls";
}

TEST_F(SpoolerServiceTest, CheckSpoolerStartsNothingWhenTheStateCannotBeRead) {
  spooler().state = SERVICE_STOPPED;
  machine().FailCall("QueryServiceStatus", 1, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CheckSpooler(state));
  EXPECT_EQ(Log(), "#Check Spooler\r\n");
  EXPECT_EQ(machine().CallCount("StartServiceW"), 0u);
}

TEST_F(SpoolerServiceTest, StartSpoolerAndWaitOnARunningSpoolerQueriesOnce) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceW(manager, L"spooler", SERVICE_START | SERVICE_QUERY_STATUS);
  EXPECT_TRUE(StartSpoolerAndWait(service));
  EXPECT_EQ(machine().CallCount("QueryServiceStatus"), 1u);
  EXPECT_EQ(machine().SleepCount(), 0u);

  spooler().state = SERVICE_STOPPED;
  spooler().neverStarts = true;
  EXPECT_FALSE(StartSpoolerAndWait(service));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
  EXPECT_EQ(machine().CallCount("QueryServiceStatus"), 1u + 51u);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

TEST_F(SpoolerServiceTest, APauseStopsTheSpoolerForItsScopeAndStartsItAfter) {
  spooler().stopDelayMs = 300;
  state.indent = 2;
  {
    SpoolerPause pause(&state);
    EXPECT_EQ(SpoolerState(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(machine().SleepCount(), 2u) << "stopped between the first and second poll";
  }
  EXPECT_EQ(SpoolerState(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(Log(), "    #Restart Spooler\r\n");
  EXPECT_EQ(state.errorCount, 0);
  EXPECT_EQ(state.indent, 2);
}

TEST_F(SpoolerServiceTest, APauseOnAStoppedSpoolerIsSilentAndStartsItOnRelease) {
  spooler().state = SERVICE_STOPPED;
  { SpoolerPause pause(&state); }
  EXPECT_EQ(Log(), "#Restart Spooler\r\n");
  EXPECT_EQ(state.errorCount, 0);
  EXPECT_EQ(machine().SleepCount(), 0u);
  EXPECT_EQ(spooler().startsAccepted, 1u);
}

TEST_F(SpoolerServiceTest, ASpoolerThatNeverStopsIsReportedAndStillRestarted) {
  spooler().neverStops = true;
  {
    SpoolerPause pause(&state);
    EXPECT_EQ(machine().SleepCount(), 50u);
    EXPECT_EQ(machine().ElapsedMilliseconds(), 10000u);
    EXPECT_EQ(state.errorCount, 1);
  }
  // The release polls another ten seconds for a spooler that is still stopping.
  EXPECT_EQ(machine().CallCount("StartServiceW"), 1u);
  EXPECT_EQ(machine().ElapsedMilliseconds(), 20000u);
  EXPECT_EQ(Log(), std::string("#Restart Spooler\r\n") + "Error(3): Can't stop the spooler - (" +
                       kTimeoutText + ")\r\n" + "Error(4): Can't start the spooler - (" +
                       kTimeoutText + ")\r\n");
}

TEST_F(SpoolerServiceTest, AStopControlThatFailsIsReportedWithItsCode) {
  spooler().state = SERVICE_STOPPED;
  machine().FailCall("ControlService", 1, ERROR_ACCESS_DENIED);
  { SpoolerPause pause(&state); }
  EXPECT_EQ(Log(),
            "#Restart Spooler\r\n"
            "Error(5): ControlService failed with code 5 (0x5) - (Access is denied.)\r\n");
  EXPECT_EQ(spooler().startsAccepted, 1u) << "the stop was requested, so the spooler is started";
}

TEST_F(SpoolerServiceTest, AStartThatFailsOnReleaseIsReported) {
  {
    SpoolerPause pause(&state);
    spooler().disabled = true;
  }
  EXPECT_EQ(Log(), std::string("#Restart Spooler\r\nError(4): Can't start the spooler - (") +
                       kDisabledText + ")\r\n");
  EXPECT_EQ(SpoolerState(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(SpoolerServiceTest, AFailedOpenEndsThePauseWithoutStartingAnything) {
  machine().FailCall("OpenServiceW", 1, ERROR_ACCESS_DENIED);
  { SpoolerPause pause(&state); }
  EXPECT_EQ(Log(),
            "#Restart Spooler\r\nError(2): Can't open the spooler - (Access is denied.)\r\n");
  EXPECT_EQ(machine().CallCount("ControlService"), 0u);
  EXPECT_EQ(machine().CallCount("StartServiceW"), 0u);
}

TEST_F(SpoolerServiceTest, APauseWithoutStateReportsNothing) {
  machine().FailCall("OpenSCManagerW", 1, ERROR_ACCESS_DENIED);
  { SpoolerPause pause(nullptr); }
  EXPECT_EQ(machine().CallCount("OpenServiceW"), 0u);
  EXPECT_EQ(machine().CallCount("StartServiceW"), 0u);

  spooler().neverStops = true;  // would be code 3, but there is nowhere to report it
  { SpoolerPause pause(nullptr); }
  EXPECT_EQ(spooler().stopsAccepted, 1u);
  EXPECT_EQ(machine().CallCount("StartServiceW"), 1u);
  EXPECT_EQ(Log(), "");
}

}  // namespace
