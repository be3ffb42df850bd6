// The fakes stand in for these layers in the frame, panel and setup tests; a fake that drifts
// from the real rules would let those tests pass against behaviour the machine never shows.
#include <gtest/gtest.h>

#include <atomic>

#include "tests/fakes/fake_registry.h"
#include "tests/fakes/fake_service_manager.h"

namespace tamrix {
namespace {

using testing::FakeRegistry;
using testing::FakeServiceHost;
using testing::FakeServiceManager;

TEST(FakeServiceHost, DeliversQueuedControlsOnceTheServiceAcceptsThem) {
  FakeServiceHost host;
  host.pendingControls = {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_STOP};
  ServiceStatusHandle handle = 0;
  std::atomic<bool> stop = false;
  const auto report = [&](std::uint32_t state) {
    ServiceStatusReport status;
    status.currentState = state;
    status.controlsAccepted = state == SERVICE_START_PENDING ? 0 : 7;
    host.SetServiceStatus(handle, status);
  };
  const int result = host.StartDispatcher("TAMXNTs", [&](int, char** argv) {
    handle = host.RegisterControlHandler(argv[0], [&](std::uint32_t control) {
      if (control == SERVICE_CONTROL_STOP) stop = true;
      report(control == SERVICE_CONTROL_PAUSE ? SERVICE_PAUSED : SERVICE_RUNNING);
      if (stop) report(SERVICE_STOPPED);
    });
    report(SERVICE_START_PENDING);
    report(SERVICE_RUNNING);
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(host.registeredNames, std::vector<std::string>{"TAMXNTs"});
  EXPECT_EQ(host.deliveredControls,
            (std::vector<std::uint32_t>{SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE,
                                        SERVICE_CONTROL_STOP}));
  std::vector<std::uint32_t> states;
  for (const ServiceStatusReport& status : host.reports) states.push_back(status.currentState);
  EXPECT_EQ(states, (std::vector<std::uint32_t>{SERVICE_START_PENDING, SERVICE_RUNNING,
                                                SERVICE_PAUSED, SERVICE_RUNNING, SERVICE_RUNNING,
                                                SERVICE_STOPPED}));
}

TEST(FakeServiceHost, AProgramNotStartedByTheManagerNeverRunsServiceMain) {
  FakeServiceHost host;
  host.startedByManager = false;
  bool ran = false;
  EXPECT_EQ(host.StartDispatcher("TAMXNTs", [&](int, char**) { ran = true; }),
            ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
  EXPECT_FALSE(ran);
}

TEST(FakeServiceHost, AServiceMainThatCannotRegisterEndsTheDispatcher) {
  FakeServiceHost host;
  host.failRegistration = true;
  EXPECT_EQ(host.StartDispatcher("TAMXNTs",
                                 [&](int, char** argv) {
                                   EXPECT_EQ(host.RegisterControlHandler(argv[0], [](std::uint32_t) {}),
                                             0u);
                                 }),
            0);
  EXPECT_TRUE(host.reports.empty());
}

TEST(FakeServiceManager, FollowsTheManagerRulesTestsRelyOn) {
  FakeServiceManager manager;
  ServiceHandle scm = 0;
  ASSERT_EQ(manager.OpenManager(SC_MANAGER_CREATE_SERVICE, &scm), 0);
  ServiceConfig config;
  config.name = "TAMXNTs";
  ServiceHandle service = 0;
  ASSERT_EQ(manager.CreateService(scm, config, SERVICE_ALL_ACCESS, &service), 0);
  ServiceHandle again = 0;
  EXPECT_EQ(manager.CreateService(scm, config, SERVICE_ALL_ACCESS, &again), ERROR_SERVICE_EXISTS);

  ServiceStatusReport status;
  manager.startState = SERVICE_START_PENDING;
  ASSERT_EQ(manager.StartService(service), 0);
  EXPECT_EQ(manager.ControlService(service, SERVICE_CONTROL_STOP, &status),
            ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  manager.queryScript = {SERVICE_RUNNING};
  ASSERT_EQ(manager.QueryServiceStatus(service, &status), 0);
  EXPECT_EQ(status.currentState, SERVICE_RUNNING);

  manager.ignoredControls = {SERVICE_CONTROL_STOP};
  ASSERT_EQ(manager.ControlService(service, SERVICE_CONTROL_STOP, &status), 0);
  EXPECT_EQ(status.currentState, SERVICE_RUNNING);
  ASSERT_EQ(manager.DeleteService(service), 0);
  EXPECT_EQ(manager.DeleteService(service), ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_NE(manager.Find("TAMXNTs"), nullptr);
  manager.ignoredControls.clear();
  ASSERT_EQ(manager.ControlService(service, SERVICE_CONTROL_STOP, &status), 0);
  EXPECT_EQ(manager.Find("TAMXNTs"), nullptr);
  EXPECT_EQ(manager.OpenService(scm, "TAMXNTs", SERVICE_ALL_ACCESS, &again),
            ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(manager.calls.front(), "OpenManager 2");
  EXPECT_EQ(manager.calls[1], "CreateService TAMXNTs 983551");
}

TEST(FakeRegistry, RecordsCallsAndFailsOnlyWhereTold) {
  FakeRegistry registry;
  registry.failures.push_back({"SetValue", "RunServices", ERROR_ACCESS_DENIED});
  RegistryKey run = 0;
  RegistryKey maker = 0;
  ASSERT_EQ(registry.CreateKey(HKEY_LOCAL_MACHINE,
                               "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices",
                               REG_OPTION_VOLATILE, KEY_ALL_ACCESS, &run),
            0);
  ASSERT_EQ(registry.CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\VORMEL\\TAMRIX", REG_OPTION_VOLATILE,
                               KEY_ALL_ACCESS, &maker),
            0);
  EXPECT_EQ(registry.SetValue(run, "TAMRIXs", REG_SZ, RegistryStringData("p")),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(registry.SetValue(maker, "x", REG_DWORD, RegistryDwordData(1)), 0);
  EXPECT_FALSE(registry.Value("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                              "RunServices",
                              "TAMRIXs"));
  registry.CloseKey(run);
  registry.CloseKey(maker);
  EXPECT_EQ(registry.calls.back(), "CloseKey HKEY_LOCAL_MACHINE\\SOFTWARE\\VORMEL\\TAMRIX");
  EXPECT_EQ(registry.OpenHandleCount(), 0u);

  registry.SimulateBoot();
  EXPECT_FALSE(registry.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\VORMEL\\TAMRIX"));
  EXPECT_TRUE(registry.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\VORMEL"));
}

}  // namespace
}  // namespace tamrix
