// The frame, panel and setup tests run against the fakes. These cases hold the fakes and the real
// layers to the same rules, so a fake that drifts from the machine fails here instead of letting
// those tests pass against behaviour the machine never shows.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <ostream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/posix_service_host.h"
#include "tests/fakes/fake_registry.h"
#include "tests/fakes/fake_service_manager.h"
#include "tests/platform/service_machine.h"

namespace tamrix {
namespace {

using testing::Eventually;
using testing::kTestServiceName;
using testing::TestServiceConfig;

// What each side must offer beyond the interfaces: ways to reach states the interfaces alone
// cannot produce on demand.
class Side {
 public:
  virtual ~Side() = default;
  virtual ServiceManager& manager() = 0;
  virtual ServiceHost& host() = 0;
  virtual HiveRegistry& registry() = 0;
  // Leaves the service live but not yet accepting controls.
  virtual int StartPending(ServiceHandle service) = 0;
  virtual void NotStartedByManager() = 0;
  // Hands a control to the service this process dispatches.
  virtual bool SendControl(ServiceHandle service, std::uint32_t control) = 0;
  virtual void Boot() = 0;
};

class FakeSide final : public Side {
 public:
  ServiceManager& manager() override { return manager_; }
  ServiceHost& host() override { return host_; }
  HiveRegistry& registry() override { return registry_; }
  int StartPending(ServiceHandle service) override {
    manager_.startState = SERVICE_START_PENDING;
    return manager_.StartService(service);
  }
  void NotStartedByManager() override { host_.startedByManager = false; }
  bool SendControl(ServiceHandle, std::uint32_t control) override {
    host_.PostControl(control);
    return true;
  }
  void Boot() override { registry_.SimulateBoot(); }

 private:
  testing::FakeServiceManager manager_;
  testing::FakeServiceHost host_;
  testing::FakeRegistry registry_;
};

// The service side runs inside this process; the manager reaches it over its control socket.
class RealSide final : public Side {
 public:
  RealSide() { ::setenv(kServiceNameVariable, kTestServiceName, 1); }
  ~RealSide() override { ::unsetenv(kServiceNameVariable); }
  ServiceManager& manager() override { return services_.manager; }
  ServiceHost& host() override { return host_; }
  HiveRegistry& registry() override { return *registry_; }
  int StartPending(ServiceHandle) override {
    // This live process publishes START_PENDING, as a service does until it accepts controls.
    std::filesystem::create_directories(ServiceRunDirectory(paths(), kTestServiceName));
    PublishedStatus published{::getpid(), LiveProcessStartTime(::getpid()).value_or(0), {}};
    published.status.currentState = SERVICE_START_PENDING;
    const bool written = PosixFileSystem().ReplaceFile(
        ServiceStatusPath(paths(), kTestServiceName), FormatPublishedStatus(published));
    return written ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
  }
  void NotStartedByManager() override { ::unsetenv(kServiceNameVariable); }
  bool SendControl(ServiceHandle service, std::uint32_t control) override {
    ServiceStatusReport status;
    return services_.manager.ControlService(service, control, &status) == ERROR_SUCCESS;
  }
  void Boot() override { registry_ = std::make_unique<FileRegistry>(paths(), "boot-2"); }

 private:
  const MachinePaths& paths() const { return services_.machine.paths; }

  testing::ServiceMachine services_;
  PosixServiceHost host_{paths(), services_.registry};
  std::unique_ptr<FileRegistry> registry_ = std::make_unique<FileRegistry>(paths(), "boot-1");
};

struct SideKind {
  const char* name;
  std::unique_ptr<Side> (*make)();
};
const SideKind kSides[] = {
    {"Fake", []() -> std::unique_ptr<Side> { return std::make_unique<FakeSide>(); }},
    {"Real", []() -> std::unique_ptr<Side> { return std::make_unique<RealSide>(); }},
};
std::string SideName(const ::testing::TestParamInfo<SideKind>& info) { return info.param.name; }
void PrintTo(const SideKind& kind, std::ostream* out) { *out << kind.name; }

class ContractTest : public ::testing::TestWithParam<SideKind> {
 protected:
  std::unique_ptr<Side> side = GetParam().make();
};

// ---- the manager -------------------------------------------------------------------------------

class ServiceManagerContract : public ContractTest, protected testing::TestServiceSteps {
 protected:
  ServiceManagerContract() : TestServiceSteps(side->manager()) {}

  bool Gone() {
    ServiceHandle reopened = 0;
    return manager.OpenService(scm, kTestServiceName, SERVICE_ALL_ACCESS, &reopened) ==
           ERROR_SERVICE_DOES_NOT_EXIST;
  }

  ServiceManager& manager = side->manager();
};

TEST_P(ServiceManagerContract, RegistrationsAreCheckedAndNamesCompareWithoutCase) {
  const struct {
    const char* label;
    void (*change)(ServiceConfig&);
    int code;
  } cases[] = {
      {"empty name", [](ServiceConfig& c) { c.name.clear(); }, ERROR_INVALID_NAME},
      {"slash", [](ServiceConfig& c) { c.name = "a/b"; }, ERROR_INVALID_NAME},
      {"backslash", [](ServiceConfig& c) { c.name = "a\\b"; }, ERROR_INVALID_NAME},
      {"long name", [](ServiceConfig& c) { c.name.assign(257, 'a'); }, ERROR_INVALID_NAME},
      {"boot start", [](ServiceConfig& c) { c.startType = 0; }, ERROR_INVALID_PARAMETER},
      {"start 5", [](ServiceConfig& c) { c.startType = 5; }, ERROR_INVALID_PARAMETER},
      {"driver type", [](ServiceConfig& c) { c.serviceType = 1; }, ERROR_INVALID_PARAMETER},
      {"error control", [](ServiceConfig& c) { c.errorControl = 4; }, ERROR_INVALID_PARAMETER},
      {"no program", [](ServiceConfig& c) { c.imagePath.clear(); }, ERROR_INVALID_PARAMETER},
  };
  ServiceHandle service = 0;
  for (const auto& c : cases) {
    ServiceConfig config = TestServiceConfig();
    c.change(config);
    EXPECT_EQ(manager.CreateService(scm, config, SERVICE_ALL_ACCESS, &service), c.code) << c.label;
  }
  EXPECT_EQ(manager.CreateService(12345, TestServiceConfig(), SERVICE_ALL_ACCESS, &service),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(manager.OpenService(scm, kTestServiceName, SERVICE_ALL_ACCESS, &service),
            ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(manager.OpenService(scm, "a/b", SERVICE_ALL_ACCESS, &service), ERROR_INVALID_NAME);

  Install();
  ServiceConfig otherCase = TestServiceConfig();
  otherCase.name = "TAMRIXTESTSERVICE";
  EXPECT_EQ(manager.CreateService(scm, otherCase, SERVICE_ALL_ACCESS, &service),
            ERROR_SERVICE_EXISTS);
  ASSERT_EQ(manager.OpenService(scm, "tamrixtestservice", SERVICE_ALL_ACCESS, &service), 0);
  ServiceConfig config;
  ASSERT_EQ(manager.QueryServiceConfig(service, &config), 0);
  EXPECT_EQ(config.name, kTestServiceName);
}

TEST_P(ServiceManagerContract, ChangingTheStartTypeLeavesTheRestAlone) {
  const ServiceHandle service = Install();
  ASSERT_EQ(manager.ChangeServiceConfig(service, SERVICE_NO_CHANGE, SERVICE_AUTO_START,
                                        SERVICE_NO_CHANGE, nullptr, nullptr),
            0);
  ServiceConfig config;
  ASSERT_EQ(manager.QueryServiceConfig(service, &config), 0);
  EXPECT_EQ(config.startType, SERVICE_AUTO_START);
  EXPECT_EQ(config.serviceType, SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(config.errorControl, SERVICE_ERROR_NORMAL);
  EXPECT_EQ(config.imagePath, TAMRIX_TEST_SERVICE);
  EXPECT_EQ(config.displayName, "Test Service");
  EXPECT_EQ(config.name, kTestServiceName);

  for (const std::uint32_t bad : {0u, 1u, 5u}) {
    EXPECT_EQ(manager.ChangeServiceConfig(service, SERVICE_NO_CHANGE, bad, SERVICE_NO_CHANGE,
                                          nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
  }
  ASSERT_EQ(manager.ChangeServiceConfig(service, SERVICE_NO_CHANGE, SERVICE_DISABLED,
                                        SERVICE_NO_CHANGE, nullptr, nullptr),
            0);
  EXPECT_EQ(manager.StartService(service), ERROR_SERVICE_DISABLED);
  ASSERT_EQ(manager.QueryServiceConfig(service, &config), 0);
  EXPECT_EQ(config.startType, SERVICE_DISABLED);
}

TEST_P(ServiceManagerContract, StartAndEveryControlMoveTheServiceThroughItsStates) {
  const ServiceHandle service = Install();
  ServiceStatusReport status;
  EXPECT_EQ(State(service), SERVICE_STOPPED);
  EXPECT_EQ(manager.ControlService(service, SERVICE_CONTROL_STOP, &status),
            ERROR_SERVICE_NOT_ACTIVE);

  ASSERT_EQ(manager.StartService(service), 0);
  ASSERT_TRUE(Reaches(service, SERVICE_RUNNING));
  EXPECT_EQ(manager.StartService(service), ERROR_SERVICE_ALREADY_RUNNING);
  for (const std::uint32_t control : {0u, 6u, 0xFFFFFFFFu}) {
    EXPECT_EQ(manager.ControlService(service, control, &status), ERROR_INVALID_SERVICE_CONTROL);
  }
  const struct {
    std::uint32_t control;
    std::uint32_t state;
  } steps[] = {
      {SERVICE_CONTROL_PAUSE, SERVICE_PAUSED},
      {SERVICE_CONTROL_INTERROGATE, SERVICE_PAUSED},
      {SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING},
      {SERVICE_CONTROL_INTERROGATE, SERVICE_RUNNING},
      {SERVICE_CONTROL_STOP, SERVICE_STOP_PENDING},
  };
  for (const auto& step : steps) {
    ASSERT_EQ(manager.ControlService(service, step.control, &status), 0) << step.control;
    // The answer is the status when it is sent: the service may already have finished stopping.
    const bool stopped = step.control == SERVICE_CONTROL_STOP &&
                         status.currentState == SERVICE_STOPPED;
    if (!stopped) {
      EXPECT_EQ(status.currentState, step.state) << step.control;
    }
  }
  ASSERT_TRUE(Reaches(service, SERVICE_STOPPED));
  ASSERT_EQ(manager.QueryServiceStatus(service, &status), 0);
  EXPECT_EQ(status.win32ExitCode, 0u);
  EXPECT_EQ(manager.ControlService(service, SERVICE_CONTROL_INTERROGATE, &status),
            ERROR_SERVICE_NOT_ACTIVE);

  // A stopped service starts again, and the machine's shutdown stops it as well.
  ASSERT_EQ(manager.StartService(service), 0);
  ASSERT_TRUE(Reaches(service, SERVICE_RUNNING));
  ASSERT_EQ(manager.ControlService(service, SERVICE_CONTROL_SHUTDOWN, &status), 0);
  EXPECT_TRUE(Reaches(service, SERVICE_STOPPED));
}

// The panel polls a service through START_PENDING and must not be able to stop it meanwhile.
TEST_P(ServiceManagerContract, AServiceStillStartingRefusesControlsAndASecondStart) {
  const ServiceHandle service = Install();
  ASSERT_EQ(side->StartPending(service), 0);
  EXPECT_EQ(State(service), SERVICE_START_PENDING);
  ServiceStatusReport status;
  EXPECT_EQ(manager.ControlService(service, SERVICE_CONTROL_STOP, &status),
            ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  EXPECT_EQ(manager.StartService(service), ERROR_SERVICE_ALREADY_RUNNING);
}

TEST_P(ServiceManagerContract, DeletingAStoppedServiceIsImmediate) {
  const ServiceHandle service = Install();
  ASSERT_EQ(manager.DeleteService(service), 0);
  EXPECT_TRUE(Gone());
  // The handle stays open but names no service any more.
  ServiceStatusReport status;
  EXPECT_EQ(manager.StartService(service), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(manager.QueryServiceStatus(service, &status), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(manager.ControlService(service, SERVICE_CONTROL_STOP, &status),
            ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(manager.CloseServiceHandle(service), 0);
}

TEST_P(ServiceManagerContract, DeletingARunningServiceWaitsForItsStop) {
  const ServiceHandle service = Install();
  ASSERT_EQ(manager.StartService(service), 0);
  ASSERT_TRUE(Reaches(service, SERVICE_RUNNING));
  ASSERT_EQ(manager.DeleteService(service), 0);
  EXPECT_EQ(manager.DeleteService(service), ERROR_SERVICE_MARKED_FOR_DELETE);
  ServiceHandle other = 0;
  EXPECT_EQ(manager.CreateService(scm, TestServiceConfig(), SERVICE_ALL_ACCESS, &other),
            ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_EQ(manager.ChangeServiceConfig(service, SERVICE_NO_CHANGE, SERVICE_AUTO_START,
                                        SERVICE_NO_CHANGE, nullptr, nullptr),
            ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_EQ(manager.StartService(service), ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_EQ(State(service), SERVICE_RUNNING);  // still there until it stops

  ServiceStatusReport status;
  ASSERT_EQ(manager.ControlService(service, SERVICE_CONTROL_STOP, &status), 0);
  EXPECT_TRUE(Eventually([&] { return Gone(); }));
  EXPECT_EQ(manager.CreateService(scm, TestServiceConfig(), SERVICE_ALL_ACCESS, &other), 0);
}

TEST_P(ServiceManagerContract, HandlesOfTheWrongKindAreRefused) {
  ServiceStatusReport status;
  EXPECT_EQ(manager.QueryServiceStatus(scm, &status), ERROR_INVALID_HANDLE);
  EXPECT_EQ(manager.StartService(0), ERROR_INVALID_HANDLE);
  const ServiceHandle service = Install();
  ServiceHandle nested = 0;
  EXPECT_EQ(manager.OpenService(service, kTestServiceName, SERVICE_ALL_ACCESS, &nested),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(manager.CloseServiceHandle(service), 0);
  EXPECT_EQ(manager.CloseServiceHandle(service), ERROR_INVALID_HANDLE);
}

INSTANTIATE_TEST_SUITE_P(Sides, ServiceManagerContract, ::testing::ValuesIn(kSides), SideName);

// ---- the service's side -----------------------------------------------------------------------

// The manager's fixture, for a registration the real side's controls can address.
class ServiceHostContract : public ServiceManagerContract {
 protected:
  ServiceHost& host = side->host();
};

TEST_P(ServiceHostContract, ControlsReachTheHandlerOnTheDispatchingThreadUntilTheServiceStops) {
  const ServiceHandle service = Install();
  const std::vector<std::uint32_t> controls = {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_INTERROGATE,
                                               SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_STOP};
  std::vector<std::uint32_t> handled;
  std::mutex mutex;
  std::condition_variable changed;
  bool running = false;
  ServiceStatusHandle handle = 0;
  const auto report = [&](std::uint32_t state, ServiceStatusHandle to) {
    ServiceStatusReport status;
    status.currentState = state;
    status.controlsAccepted = state == SERVICE_START_PENDING ? 0 : 7;
    return host.SetServiceStatus(to, status);
  };
  std::thread controller([&] {
    std::unique_lock lock(mutex);
    bool sent = changed.wait_for(lock, std::chrono::seconds(10), [&] { return running; });
    lock.unlock();
    for (const std::uint32_t control : controls) {
      sent = sent && side->SendControl(service, control);
    }
    EXPECT_TRUE(sent);
    // Ends the dispatcher the controls could not end.
    if (!sent) report(SERVICE_STOPPED, handle);
  });
  const std::thread::id dispatching = std::this_thread::get_id();
  const int result = host.StartDispatcher(kTestServiceName, [&](int argc, char** argv) {
    EXPECT_EQ(argc, 1);
    EXPECT_STREQ(argv[0], kTestServiceName);
    handle = host.RegisterControlHandler(argv[0], [&](std::uint32_t control) {
      EXPECT_EQ(std::this_thread::get_id(), dispatching);
      handled.push_back(control);
      const std::uint32_t state = control == SERVICE_CONTROL_STOP    ? SERVICE_STOPPED
                                  : control == SERVICE_CONTROL_PAUSE ? SERVICE_PAUSED
                                                                     : SERVICE_RUNNING;
      EXPECT_EQ(report(state, handle), 1);
    });
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(report(SERVICE_START_PENDING, handle), 1);
    EXPECT_EQ(report(SERVICE_PAUSED + 1, handle), 0);
    EXPECT_EQ(report(SERVICE_RUNNING, handle + 1), 0);
    EXPECT_EQ(report(SERVICE_RUNNING, handle), 1);
    // ServiceMain may return: the handler keeps the service until it reports STOPPED.
    std::lock_guard lock(mutex);
    running = true;
    changed.notify_all();
  });
  controller.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(handled, controls);
}

TEST_P(ServiceHostContract, AProgramNotStartedByTheManagerNeverRunsServiceMain) {
  side->NotStartedByManager();
  bool ran = false;
  EXPECT_EQ(host.StartDispatcher(kTestServiceName, [&](int, char**) { ran = true; }),
            ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
  EXPECT_FALSE(ran);
  // Outside a dispatched service there is nothing to register with or report to.
  EXPECT_EQ(host.RegisterControlHandler(kTestServiceName, [](std::uint32_t) {}), 0u);
  EXPECT_EQ(host.SetServiceStatus(1, ServiceStatusReport{}), 0);
}

TEST_P(ServiceHostContract, AServiceMainThatCannotRegisterEndsTheDispatcher) {
  bool ran = false;
  EXPECT_EQ(host.StartDispatcher(kTestServiceName,
                                 [&](int, char** argv) {
                                   ran = true;
                                   EXPECT_EQ(host.RegisterControlHandler(argv[0], nullptr), 0u);
                                 }),
            0);
  EXPECT_TRUE(ran);
}

INSTANTIATE_TEST_SUITE_P(Sides, ServiceHostContract, ::testing::ValuesIn(kSides), SideName);

// ---- the registry ------------------------------------------------------------------------------

class RegistryContract : public ContractTest {};

TEST_P(RegistryContract, ABootDropsTheVolatileKeysAndKeepsTheKeysOnTheirWay) {
  constexpr const char* kRunServices = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
  HiveRegistry& registry = side->registry();
  RegistryKey run = 0;
  ASSERT_EQ(registry.CreateKey(HKEY_LOCAL_MACHINE, kRunServices, REG_OPTION_VOLATILE,
                               KEY_ALL_ACCESS, &run),
            0);
  EXPECT_EQ(registry.CloseKey(run), 0);
  EXPECT_EQ(registry.OpenHandleCount(), 0u);

  side->Boot();
  HiveRegistry& booted = side->registry();
  RegistryKey key = 0;
  EXPECT_EQ(booted.OpenKey(HKEY_LOCAL_MACHINE, kRunServices, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(booted.OpenKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                           KEY_READ, &key),
            0);
}

INSTANTIATE_TEST_SUITE_P(Sides, RegistryContract, ::testing::ValuesIn(kSides), SideName);

}  // namespace
}  // namespace tamrix
