#include "winsim/services.h"

#include "test_support.h"

namespace {

class ServicesTest : public MachineTest {
 protected:
  void TearDown() override {
    if (service_ != nullptr) CloseServiceHandle(service_);
    if (manager_ != nullptr) CloseServiceHandle(manager_);
    MachineTest::TearDown();
  }
  SC_HANDLE Open(DWORD access) {
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    service_ = OpenServiceW(manager_, L"Spooler", access);
    return service_;
  }
  DWORD State() {
    SERVICE_STATUS status = {};
    EXPECT_TRUE(QueryServiceStatus(service_, &status));
    return status.dwCurrentState;
  }
  winsim::Service& spooler() { return machine().services().Spooler(); }

  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

TEST_F(ServicesTest, HandlesAllowOnlyTheAccessTheyWereOpenedWith) {
  SC_HANDLE noConnect = OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_LOCK);
  EXPECT_EQ(OpenServiceW(noConnect, L"spooler", SERVICE_START), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseServiceHandle(noConnect);

  ASSERT_NE(Open(SERVICE_START), nullptr);
  SERVICE_STATUS status = {};
  EXPECT_FALSE(QueryServiceStatus(service_, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(spooler().state, static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(ServicesTest, UnknownServicesAndDatabasesAreRefused) {
  manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  EXPECT_EQ(OpenServiceW(manager_, L"nosuchservice", SERVICE_START), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(OpenSCManagerW(nullptr, L"Other", SC_MANAGER_CONNECT), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DATABASE_DOES_NOT_EXIST));
}

TEST_F(ServicesTest, StopAndStartTakeTheirDelaysOfVirtualTime) {
  spooler().stopDelayMs = 300;
  spooler().startDelayMs = 100;
  ASSERT_NE(Open(SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS), nullptr);
  SERVICE_STATUS status = {};
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
  Sleep(299);
  EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_STOP_PENDING));
  EXPECT_FALSE(StartServiceW(service_, 0, nullptr)) << "a stopping service is still active";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
  Sleep(1);
  EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_STOPPED));

  // Stopping a stopped service fails, and still reports its status.
  status = SERVICE_STATUS{};
  EXPECT_FALSE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));

  ASSERT_TRUE(StartServiceW(service_, 0, nullptr));
  EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_START_PENDING));
  EXPECT_FALSE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
  Sleep(100);
  EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_FALSE(StartServiceW(service_, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
  EXPECT_EQ(spooler().startsAccepted, 1u);
  EXPECT_EQ(spooler().stopsAccepted, 1u);
}

TEST_F(ServicesTest, ScriptedFaultsHangOrRefuse) {
  ASSERT_NE(Open(SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS), nullptr);
  spooler().neverStops = true;
  SERVICE_STATUS status = {};
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  Sleep(60000);
  EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_STOP_PENDING));

  spooler().neverStops = false;
  spooler().state = SERVICE_STOPPED;
  spooler().disabled = true;
  EXPECT_FALSE(StartServiceW(service_, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DISABLED));

  spooler().disabled = false;
  spooler().neverStarts = true;
  ASSERT_TRUE(StartServiceW(service_, 0, nullptr));
  Sleep(60000);
  EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_START_PENDING));
  EXPECT_FALSE(machine().services().IsRunning(u"SPOOLER"));
}

}  // namespace
