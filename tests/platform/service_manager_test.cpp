#include "platform/posix/posix_service_manager.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/posix/file_registry.h"
#include "platform/posix/posix_file_system.h"
#include "tests/platform/temp_machine.h"

namespace tamrix {
namespace {

using testing::TempMachine;

constexpr const char* kName = "TamrixTestService";

ServiceConfig TestServiceConfig(std::uint32_t startType = SERVICE_DEMAND_START) {
  ServiceConfig config;
  config.name = kName;
  config.displayName = "Test Service";
  config.startType = startType;
  config.imagePath = TAMRIX_TEST_SERVICE;
  return config;
}

std::string ReadText(const std::string& path) {
  return PosixFileSystem().ReadFile(path).value_or("");
}

// Polls until done() holds, for at most about five seconds; the services answer in milliseconds.
template <typename Done>
bool Eventually(Done done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

class ServiceManagerTest : public ::testing::Test {
 protected:
  ServiceManagerTest() : registry(machine.paths, "boot-1"), manager(machine.paths, registry) {
    manager.SetTimeouts(5000, 5000);
    EXPECT_EQ(manager.OpenManager(SC_MANAGER_CREATE_SERVICE, &scm), 0);
  }
  ~ServiceManagerTest() override {
    // No test leaves a service process behind.
    const auto published = ParsePublishedStatus(ReadText(ServiceStatusPath(machine.paths, kName)));
    if (published && LiveProcessStartTime(published->pid) == published->startTime) {
      ::kill(published->pid, SIGKILL);
    }
  }

  ServiceHandle Install(std::uint32_t startType = SERVICE_DEMAND_START) {
    ServiceHandle service = 0;
    EXPECT_EQ(manager.CreateService(scm, TestServiceConfig(startType), SERVICE_ALL_ACCESS, &service),
              0);
    return service;
  }
  std::uint32_t State(ServiceHandle service) {
    ServiceStatusReport status;
    EXPECT_EQ(manager.QueryServiceStatus(service, &status), 0);
    return status.currentState;
  }
  bool Reaches(ServiceHandle service, std::uint32_t state) {
    return Eventually([&] { return State(service) == state; });
  }
  pid_t ServicePid() {
    const auto published = ParsePublishedStatus(ReadText(ServiceStatusPath(machine.paths, kName)));
    return published ? published->pid : 0;
  }

  TempMachine machine;
  FileRegistry registry;
  PosixServiceManager manager;
  ServiceHandle scm = 0;
};

TEST_F(ServiceManagerTest, CreatingTwiceGivesServiceExists) {
  const ServiceHandle service = Install();
  ServiceHandle again = 0;
  ServiceConfig sameNameOtherCase = TestServiceConfig();
  sameNameOtherCase.name = "TAMRIXTESTSERVICE";
  EXPECT_EQ(manager.CreateService(scm, sameNameOtherCase, SERVICE_ALL_ACCESS, &again),
            ERROR_SERVICE_EXISTS);
  EXPECT_EQ(manager.CloseServiceHandle(service), 0);
}

TEST_F(ServiceManagerTest, RegistrationIsKeptInTheRegistry) {
  Install(SERVICE_DEMAND_START);
  RegistryKey key = 0;
  ASSERT_EQ(registry.OpenKey(HKEY_LOCAL_MACHINE,
                             "SYSTEM\\CurrentControlSet\\Services\\TamrixTestService", KEY_READ,
                             &key),
            0);
  const struct {
    const char* name;
    std::uint32_t type;
    std::string data;
  } expected[] = {
      {"ImagePath", REG_EXPAND_SZ, RegistryStringData(TAMRIX_TEST_SERVICE)},
      {"DisplayName", REG_SZ, RegistryStringData("Test Service")},
      {"Start", REG_DWORD, RegistryDwordData(3)},
      {"Type", REG_DWORD, RegistryDwordData(0x10)},
      {"ErrorControl", REG_DWORD, RegistryDwordData(1)},
  };
  for (const auto& e : expected) {
    RegistryValue value;
    ASSERT_EQ(registry.QueryValue(key, e.name, &value), 0) << e.name;
    EXPECT_EQ(value.type, e.type) << e.name;
    EXPECT_EQ(value.data, e.data) << e.name;
  }
}

TEST_F(ServiceManagerTest, OpeningAMissingServiceGivesDoesNotExist) {
  ServiceHandle service = 0;
  EXPECT_EQ(manager.OpenService(scm, "TAMXNTs", SERVICE_ALL_ACCESS, &service),
            ERROR_SERVICE_DOES_NOT_EXIST);
  // A key under Services that is no service (the event log's) is not one either.
  RegistryKey key = 0;
  registry.CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\EventLog", 0,
                     KEY_ALL_ACCESS, &key);
  EXPECT_EQ(manager.OpenService(scm, "EventLog", SERVICE_ALL_ACCESS, &service),
            ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(ServiceManagerTest, BadRegistrationsAreRefused) {
  const struct {
    const char* label;
    void (*change)(ServiceConfig&);
    int code;
  } cases[] = {
      {"empty name", [](ServiceConfig& c) { c.name.clear(); }, ERROR_INVALID_NAME},
      {"slash", [](ServiceConfig& c) { c.name = "a/b"; }, ERROR_INVALID_NAME},
      {"backslash", [](ServiceConfig& c) { c.name = "a\\b"; }, ERROR_INVALID_NAME},
      {"boot start", [](ServiceConfig& c) { c.startType = 0; }, ERROR_INVALID_PARAMETER},
      {"start 5", [](ServiceConfig& c) { c.startType = 5; }, ERROR_INVALID_PARAMETER},
      {"driver type", [](ServiceConfig& c) { c.serviceType = 1; }, ERROR_INVALID_PARAMETER},
      {"error control", [](ServiceConfig& c) { c.errorControl = 4; }, ERROR_INVALID_PARAMETER},
      {"no program", [](ServiceConfig& c) { c.imagePath.clear(); }, ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    ServiceConfig config = TestServiceConfig();
    c.change(config);
    ServiceHandle service = 0;
    EXPECT_EQ(manager.CreateService(scm, config, SERVICE_ALL_ACCESS, &service), c.code) << c.label;
  }
  ServiceHandle service = 0;
  EXPECT_EQ(manager.CreateService(12345, TestServiceConfig(), SERVICE_ALL_ACCESS, &service),
            ERROR_INVALID_HANDLE);
}

TEST_F(ServiceManagerTest, StartAndEveryControlMoveTheServiceThroughItsStates) {
  const ServiceHandle service = Install();
  ServiceStatusReport status;
  EXPECT_EQ(State(service), SERVICE_STOPPED);
  EXPECT_EQ(manager.ControlService(service, SERVICE_CONTROL_STOP, &status),
            ERROR_SERVICE_NOT_ACTIVE);

  ASSERT_EQ(manager.StartService(service), 0);
  ASSERT_TRUE(Reaches(service, SERVICE_RUNNING));
  EXPECT_EQ(manager.StartService(service), ERROR_SERVICE_ALREADY_RUNNING);
  // The program ran in this machine, with the service name as its only argument.
  EXPECT_EQ(ReadText(machine.Path("service-ran")), machine.paths.root + " " + kName);

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
  EXPECT_EQ(ReadText(machine.Path("last-control")), "1");
  EXPECT_EQ(manager.ControlService(service, SERVICE_CONTROL_INTERROGATE, &status),
            ERROR_SERVICE_NOT_ACTIVE);

  // A stopped service starts again.
  ASSERT_EQ(manager.StartService(service), 0);
  ASSERT_TRUE(Reaches(service, SERVICE_RUNNING));
  ASSERT_EQ(manager.ControlService(service, SERVICE_CONTROL_SHUTDOWN, &status), 0);
  ASSERT_TRUE(Reaches(service, SERVICE_STOPPED));
  EXPECT_EQ(ReadText(machine.Path("last-control")), "5");
}

TEST_F(ServiceManagerTest, UnknownControlCodesAreRefused) {
  const ServiceHandle service = Install();
  ASSERT_EQ(manager.StartService(service), 0);
  ASSERT_TRUE(Reaches(service, SERVICE_RUNNING));
  ServiceStatusReport status;
  for (const std::uint32_t control : {0u, 6u, 0xFFFFFFFFu}) {
    EXPECT_EQ(manager.ControlService(service, control, &status), ERROR_INVALID_SERVICE_CONTROL);
  }
  EXPECT_EQ(manager.ControlService(service, SERVICE_CONTROL_STOP, &status), 0);
  EXPECT_TRUE(Reaches(service, SERVICE_STOPPED));
}

TEST_F(ServiceManagerTest, AKilledServiceReadsAsStoppedAndStartsAgain) {
  const ServiceHandle service = Install();
  ASSERT_EQ(manager.StartService(service), 0);
  ASSERT_TRUE(Reaches(service, SERVICE_RUNNING));
  const pid_t pid = ServicePid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  ASSERT_TRUE(Reaches(service, SERVICE_STOPPED));
  ServiceStatusReport status;
  ASSERT_EQ(manager.QueryServiceStatus(service, &status), 0);
  EXPECT_EQ(status.win32ExitCode, static_cast<std::uint32_t>(ERROR_PROCESS_ABORTED));
  EXPECT_EQ(status.controlsAccepted, 0u);
  EXPECT_EQ(manager.ControlService(service, SERVICE_CONTROL_STOP, &status),
            ERROR_SERVICE_NOT_ACTIVE);
  ASSERT_EQ(manager.StartService(service), 0);
  EXPECT_TRUE(Reaches(service, SERVICE_RUNNING));
  EXPECT_NE(ServicePid(), pid);
}

TEST_F(ServiceManagerTest, DeletingARunningServiceWaitsForItsStop) {
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
  EXPECT_EQ(State(service), SERVICE_RUNNING);  // still there until it stops

  ServiceStatusReport status;
  ASSERT_EQ(manager.ControlService(service, SERVICE_CONTROL_STOP, &status), 0);
  EXPECT_TRUE(Eventually([&] {
    ServiceHandle reopened = 0;
    return manager.OpenService(scm, kName, SERVICE_ALL_ACCESS, &reopened) ==
           ERROR_SERVICE_DOES_NOT_EXIST;
  }));
  EXPECT_EQ(manager.CreateService(scm, TestServiceConfig(), SERVICE_ALL_ACCESS, &other), 0);
}

// Uninstalling a running service and installing it again as soon as the manager allows: the old
// service's dispatcher and this manager both try to complete the deletion, and neither may take
// the new registration with it.
TEST_F(ServiceManagerTest, ARegistrationMadeRightAfterADeletionStays) {
  ServiceHandle service = Install();
  for (int round = 0; round < 10; ++round) {
    ASSERT_EQ(manager.StartService(service), 0);
    ASSERT_TRUE(Reaches(service, SERVICE_RUNNING));
    const pid_t old = ServicePid();
    ASSERT_EQ(manager.DeleteService(service), 0);
    ServiceStatusReport status;
    ASSERT_EQ(manager.ControlService(service, SERVICE_CONTROL_STOP, &status), 0);
    // No pause between tries: the race is lost in the moment the old service stops.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int created = ERROR_SERVICE_MARKED_FOR_DELETE;
    while (created == ERROR_SERVICE_MARKED_FOR_DELETE && std::chrono::steady_clock::now() < deadline) {
      created = manager.CreateService(scm, TestServiceConfig(), SERVICE_ALL_ACCESS, &service);
    }
    ASSERT_EQ(created, 0) << "round " << round;
    ASSERT_TRUE(Eventually([&] { return !LiveProcessStartTime(old); }));
    ServiceConfig config;
    ASSERT_EQ(manager.QueryServiceConfig(service, &config), 0) << "round " << round;
    EXPECT_EQ(config.imagePath, TAMRIX_TEST_SERVICE);
    EXPECT_EQ(config.displayName, "Test Service");
  }
}

TEST_F(ServiceManagerTest, AKilledServiceMarkedForDeletionGoesAtTheNextLook) {
  const ServiceHandle service = Install();
  ASSERT_EQ(manager.StartService(service), 0);
  ASSERT_TRUE(Reaches(service, SERVICE_RUNNING));
  ASSERT_EQ(manager.DeleteService(service), 0);
  ::kill(ServicePid(), SIGKILL);
  EXPECT_TRUE(Eventually([&] {
    ServiceHandle reopened = 0;
    return manager.OpenService(scm, kName, SERVICE_ALL_ACCESS, &reopened) ==
           ERROR_SERVICE_DOES_NOT_EXIST;
  }));
}

TEST_F(ServiceManagerTest, DeletingAStoppedServiceIsImmediate) {
  const ServiceHandle service = Install();
  ASSERT_EQ(manager.DeleteService(service), 0);
  ServiceHandle reopened = 0;
  EXPECT_EQ(manager.OpenService(scm, kName, SERVICE_ALL_ACCESS, &reopened),
            ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(manager.StartService(service), ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(ServiceManagerTest, ChangingTheStartTypeLeavesTheRestAlone) {
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
  EXPECT_EQ(config.name, kName);

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

TEST_F(ServiceManagerTest, AMissingProgramCannotStart) {
  ServiceConfig config = TestServiceConfig();
  config.imagePath = machine.Path("usr/local/lib/TAMRIX/TAMXNTs.exe");
  ServiceHandle service = 0;
  ASSERT_EQ(manager.CreateService(scm, config, SERVICE_ALL_ACCESS, &service), 0);
  EXPECT_EQ(manager.StartService(service), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(State(service), SERVICE_STOPPED);
}

// Setup joins the installation directory and the program name with "\".
TEST_F(ServiceManagerTest, AnImagePathWrittenWithBackslashesStillStarts) {
  ServiceConfig config = TestServiceConfig();
  const std::size_t cut = config.imagePath.rfind('/');
  config.imagePath[cut] = '\\';
  ServiceHandle service = 0;
  ASSERT_EQ(manager.CreateService(scm, config, SERVICE_ALL_ACCESS, &service), 0);
  ASSERT_EQ(manager.StartService(service), 0);
  ASSERT_TRUE(Reaches(service, SERVICE_RUNNING));
  ServiceStatusReport status;
  EXPECT_EQ(manager.ControlService(service, SERVICE_CONTROL_STOP, &status), 0);
  EXPECT_TRUE(Reaches(service, SERVICE_STOPPED));
}

// A status published by a live process that does not accept controls yet, or by a process whose
// pid was reused, is judged without talking to anyone.
TEST_F(ServiceManagerTest, PublishedStatusIsTrustedOnlyForItsOwnLiveProcess) {
  const ServiceHandle service = Install();
  std::filesystem::create_directories(ServiceRunDirectory(machine.paths, kName));
  PublishedStatus published;
  published.pid = ::getpid();
  published.startTime = *LiveProcessStartTime(::getpid());
  published.status.currentState = SERVICE_START_PENDING;
  PosixFileSystem().ReplaceFile(ServiceStatusPath(machine.paths, kName),
                                FormatPublishedStatus(published));
  ServiceStatusReport status;
  EXPECT_EQ(State(service), SERVICE_START_PENDING);
  EXPECT_EQ(manager.ControlService(service, SERVICE_CONTROL_STOP, &status),
            ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  EXPECT_EQ(manager.StartService(service), ERROR_SERVICE_ALREADY_RUNNING);

  published.startTime += 1;  // same pid, another process
  PosixFileSystem().ReplaceFile(ServiceStatusPath(machine.paths, kName),
                                FormatPublishedStatus(published));
  EXPECT_EQ(State(service), SERVICE_STOPPED);
}

TEST_F(ServiceManagerTest, HandlesOfTheWrongKindAreRefused) {
  ServiceStatusReport status;
  EXPECT_EQ(manager.QueryServiceStatus(scm, &status), ERROR_INVALID_HANDLE);
  EXPECT_EQ(manager.StartService(0), ERROR_INVALID_HANDLE);
  const ServiceHandle service = Install();
  ServiceHandle nested = 0;
  EXPECT_EQ(manager.OpenService(service, kName, SERVICE_ALL_ACCESS, &nested),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(manager.CloseServiceHandle(service), 0);
  EXPECT_EQ(manager.CloseServiceHandle(service), ERROR_INVALID_HANDLE);
}

// Started from a shell, the service program learns it was not started by the manager.
TEST(ServiceDispatcher, AProgramNotStartedByTheManagerGets1063) {
  TempMachine machine;
  const std::string root = "TAMRIX_SYSROOT=" + machine.paths.root;
  std::vector<char*> env{const_cast<char*>(root.c_str()), nullptr};
  char* argv[] = {const_cast<char*>(TAMRIX_TEST_SERVICE), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, TAMRIX_TEST_SERVICE, nullptr, nullptr, argv, env.data()), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1063 & 0xFF);
  EXPECT_EQ(ReadText(machine.Path("dispatcher-error")), "1063");
}

}  // namespace
}  // namespace tamrix
