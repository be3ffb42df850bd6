#include "control_panel/nt_service_controller.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_service_manager.h"

namespace tamrix {
namespace {

using testing::FakeClock;
using testing::FakeServiceManager;
using Strings = std::vector<std::string>;

struct Harness {
  explicit Harness(bool installed = true, std::uint32_t state = SERVICE_STOPPED) {
    if (installed) {
      ServiceConfig config;
      config.name = "TAMXNTs";
      config.displayName = "DHCP Service for ZAVO";
      config.imagePath = "/sys32/TAMRIX/TAMXNTs.exe";
      manager.Install(config, state);
    }
    controller = std::make_unique<NtServiceController>(manager, clock);
    manager.calls.clear();
  }

  NtServiceController& c() { return *controller; }
  std::uint32_t StartType() { return manager.Find("TAMXNTs")->config.startType; }

  FakeServiceManager manager;
  FakeClock clock;
  std::unique_ptr<NtServiceController> controller;
};

// A pending state counts as the state being left; a state outside the seven keeps the last.
TEST(NtServiceController, StatesMapOntoTheThreeStatuses) {
  struct Case {
    std::uint32_t state;
    ServiceStatus status;
  };
  const Case cases[] = {
      {SERVICE_STOPPED, STATUS_STOPPED},       {SERVICE_START_PENDING, STATUS_STOPPED},
      {SERVICE_STOP_PENDING, STATUS_RUNNING},  {SERVICE_RUNNING, STATUS_RUNNING},
      {SERVICE_PAUSE_PENDING, STATUS_RUNNING}, {SERVICE_CONTINUE_PENDING, STATUS_PAUSED},
      {SERVICE_PAUSED, STATUS_PAUSED},
  };
  for (const Case& c : cases) {
    Harness h;
    h.manager.queryScript = {c.state};
    EXPECT_EQ(h.c().QueryServiceStatusCode(), c.status) << c.state;
    EXPECT_EQ(h.c().status(), c.status);
  }
  for (const ServiceStatus previous : {STATUS_STOPPED, STATUS_RUNNING, STATUS_PAUSED}) {
    for (const std::uint32_t unknown : {0u, 8u, 0xFFFFFFFFu}) {
      Harness h;
      const std::uint32_t known = previous == STATUS_STOPPED   ? SERVICE_STOPPED
                                  : previous == STATUS_RUNNING ? SERVICE_RUNNING
                                                               : SERVICE_PAUSED;
      h.manager.queryScript = {known, unknown};
      h.c().QueryServiceStatusCode();
      EXPECT_EQ(h.c().QueryServiceStatusCode(), previous) << unknown;
    }
  }
  Harness first;
  first.manager.queryScript = {8};
  EXPECT_EQ(first.c().QueryServiceStatusCode(), STATUS_UNKNOWN);
}

TEST(NtServiceController, WithoutTheServiceEverythingIsUnknownAndNothingHappens) {
  Harness h(false);
  EXPECT_EQ(h.c().QueryServiceStatusCode(), STATUS_UNKNOWN);
  EXPECT_EQ(h.c().QueryStartupType(), STARTUP_UNKNOWN);
  for (const StartupType type : {STARTUP_AUTOMATIC, STARTUP_MANUAL, STARTUP_DISABLED}) {
    h.c().SetStartupType(type);
    EXPECT_EQ(h.c().ApplyStartupType(), -1);
  }
  // Refused requests return at once: no pause, no poll.
  EXPECT_EQ(h.c().StartTheService(), 1);
  EXPECT_EQ(h.c().StopTheService(), 1);
  EXPECT_EQ(h.c().PauseTheService(), 1);
  EXPECT_EQ(h.c().ContinueTheService(), 1);
  EXPECT_TRUE(h.clock.sleeps.empty());
  EXPECT_EQ(h.c().derivations(), 1);
  EXPECT_TRUE(h.manager.services.empty());
}

TEST(NtServiceController, AServiceStuckStartingShowsStoppedAndTheStartGivesUpAtPause1001) {
  Harness h;
  h.manager.startState = SERVICE_START_PENDING;
  EXPECT_EQ(h.c().StartTheService(), 0);
  EXPECT_EQ(h.c().status(), STATUS_STOPPED);
  EXPECT_EQ(h.clock.sleeps, std::vector<int>(1001, 50));
  EXPECT_EQ(h.c().derivations(), 1001);  // once before the first pause, none after the last
}

TEST(NtServiceController, WaitEndsAsSoonAsTheTargetIsSeen) {
  Harness h(true, SERVICE_RUNNING);
  h.manager.queryScript = {SERVICE_STOP_PENDING, SERVICE_STOP_PENDING, SERVICE_STOP_PENDING,
                           SERVICE_STOPPED};
  h.manager.ignoredControls = {SERVICE_CONTROL_STOP};
  EXPECT_EQ(h.c().StopTheService(), 1);
  EXPECT_EQ(h.clock.sleeps, (std::vector<int>{50, 50, 50}));
  EXPECT_EQ(h.c().status(), STATUS_STOPPED);

  Harness at1000;
  at1000.manager.startState = SERVICE_START_PENDING;
  at1000.manager.queryScript.assign(1000, SERVICE_START_PENDING);
  at1000.manager.queryScript.push_back(SERVICE_RUNNING);
  EXPECT_EQ(at1000.c().StartTheService(), 1);  // the 1001st derivation still counts
  EXPECT_EQ(at1000.clock.sleeps.size(), 1000u);
}

TEST(NtServiceController, StartPauseContinueStopFollowTheService) {
  Harness h;
  EXPECT_EQ(h.c().StartTheService(), 1);
  EXPECT_EQ(h.c().status(), STATUS_RUNNING);
  EXPECT_EQ(h.c().PauseTheService(), 1);
  EXPECT_EQ(h.c().status(), STATUS_PAUSED);
  EXPECT_EQ(h.c().ContinueTheService(), 1);
  EXPECT_EQ(h.c().status(), STATUS_RUNNING);
  EXPECT_EQ(h.c().StopTheService(), 1);
  EXPECT_EQ(h.c().status(), STATUS_STOPPED);
  const Strings expected = {"StartService TAMXNTs",     "QueryServiceStatus TAMXNTs",
                            "ControlService TAMXNTs 2", "QueryServiceStatus TAMXNTs",
                            "ControlService TAMXNTs 3", "QueryServiceStatus TAMXNTs",
                            "ControlService TAMXNTs 1", "QueryServiceStatus TAMXNTs"};
  EXPECT_EQ(h.manager.calls, expected);
  EXPECT_TRUE(h.clock.sleeps.empty());
}

TEST(NtServiceController, AContinuePendingServiceAlreadyCountsAsPaused) {
  Harness h(true, SERVICE_RUNNING);
  h.manager.ignoredControls = {SERVICE_CONTROL_PAUSE};
  h.manager.queryScript = {SERVICE_CONTINUE_PENDING};
  EXPECT_EQ(h.c().PauseTheService(), 1);
  EXPECT_EQ(h.c().status(), STATUS_PAUSED);
  EXPECT_TRUE(h.clock.sleeps.empty());
}

TEST(NtServiceController, ARefusedRequestReturnsAtOnceWithoutPolling) {
  struct Case {
    const char* name;
    std::string failing;
    int (ServiceControl::*operation)();
  };
  const Case cases[] = {
      {"start", "StartService", &ServiceControl::StartTheService},
      {"stop", "ControlService", &ServiceControl::StopTheService},
      {"pause", "ControlService", &ServiceControl::PauseTheService},
      {"continue", "ControlService", &ServiceControl::ContinueTheService},
  };
  for (const Case& c : cases) {
    Harness h(true, SERVICE_RUNNING);
    h.manager.failures[c.failing] = ERROR_ACCESS_DENIED;
    EXPECT_EQ((h.c().*c.operation)(), 1) << c.name;
    EXPECT_EQ(h.c().derivations(), 0) << c.name;
    EXPECT_TRUE(h.clock.sleeps.empty()) << c.name;
  }
}

TEST(NtServiceController, StartupTypesReadFromTheStartType) {
  struct Case {
    std::uint32_t startType;
    StartupType type;
  };
  const Case cases[] = {{SERVICE_AUTO_START, STARTUP_AUTOMATIC},
                        {SERVICE_DEMAND_START, STARTUP_MANUAL},
                        {SERVICE_DISABLED, STARTUP_DISABLED},
                        {0, STARTUP_UNKNOWN},
                        {1, STARTUP_UNKNOWN},
                        {5, STARTUP_UNKNOWN}};
  for (const Case& c : cases) {
    Harness h;
    h.manager.Find("TAMXNTs")->config.startType = c.startType;
    EXPECT_EQ(h.c().QueryStartupType(), c.type) << c.startType;
    EXPECT_EQ(h.c().startupType(), c.type);
  }
  Harness failing;
  failing.manager.failures["QueryServiceConfig"] = ERROR_ACCESS_DENIED;
  EXPECT_EQ(failing.c().QueryStartupType(), STARTUP_UNKNOWN);
}

TEST(NtServiceController, ApplyingChangesOnlyTheStartType) {
  struct Case {
    StartupType type;
    std::uint32_t startType;
  };
  const Case cases[] = {{STARTUP_AUTOMATIC, SERVICE_AUTO_START},
                        {STARTUP_MANUAL, SERVICE_DEMAND_START},
                        {STARTUP_DISABLED, SERVICE_DISABLED}};
  for (const Case& c : cases) {
    Harness h;
    const ServiceConfig before = h.manager.Find("TAMXNTs")->config;
    h.c().SetStartupType(c.type);
    EXPECT_EQ(h.c().ApplyStartupType(), 0);
    const ServiceConfig& after = h.manager.Find("TAMXNTs")->config;
    EXPECT_EQ(after.startType, c.startType);
    EXPECT_EQ(after.displayName, before.displayName);
    EXPECT_EQ(after.imagePath, before.imagePath);
    EXPECT_EQ(after.serviceType, before.serviceType);
    EXPECT_EQ(after.errorControl, before.errorControl);
  }
  Harness none;
  none.c().SetStartupType(STARTUP_UNKNOWN);  // OK with no button checked
  EXPECT_EQ(none.c().ApplyStartupType(), -1);
  EXPECT_TRUE(none.manager.calls.empty());
  EXPECT_EQ(none.StartType(), SERVICE_DEMAND_START);

  Harness refused;
  refused.manager.failures["ChangeServiceConfig"] = ERROR_ACCESS_DENIED;
  refused.c().SetStartupType(STARTUP_AUTOMATIC);
  EXPECT_EQ(refused.c().ApplyStartupType(), -1);
}

}  // namespace
}  // namespace tamrix
