#include "platform/posix/posix_service_manager.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/platform/service_machine.h"

namespace tamrix {
namespace {

using testing::Eventually;
using testing::TestServiceConfig;

constexpr const char* kName = testing::kTestServiceName;

std::string ReadText(const std::string& path) {
  return PosixFileSystem().ReadFile(path).value_or("");
}

// The rules the fakes share live in service_contract_test.cpp; these cases need a real process,
// a real program image or the files of the machine.
class ServiceManagerTest : public ::testing::Test,
                           protected testing::ServiceMachine,
                           protected testing::TestServiceSteps {
 protected:
  ServiceManagerTest() : TestServiceSteps(manager) {}

  pid_t ServicePid() {
    const auto published = ParsePublishedStatus(ReadText(ServiceStatusPath(machine.paths, kName)));
    return published ? published->pid : 0;
  }
};

TEST_F(ServiceManagerTest, RegistrationIsKeptInTheRegistry) {
  Install();
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
  // A key under Services that is no service (the event log's) is not one either.
  registry.CloseKey(key);
  registry.CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\EventLog", 0,
                     KEY_ALL_ACCESS, &key);
  ServiceHandle service = 0;
  EXPECT_EQ(manager.OpenService(scm, "EventLog", SERVICE_ALL_ACCESS, &service),
            ERROR_SERVICE_DOES_NOT_EXIST);
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

TEST_F(ServiceManagerTest, AMissingProgramCannotStart) {
  ServiceConfig config = TestServiceConfig();
  config.imagePath = machine.Path("usr/local/lib/TAMRIX/TAMXNTs.exe");
  ServiceHandle service = 0;
  ASSERT_EQ(manager.CreateService(scm, config, SERVICE_ALL_ACCESS, &service), 0);
  EXPECT_EQ(manager.StartService(service), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(State(service), SERVICE_STOPPED);
}

// Setup joins the installation directory and the program name with "\". The program runs in
// this machine, with the service name as its only argument, and hears the very control sent.
TEST_F(ServiceManagerTest, AnImagePathWrittenWithBackslashesStillStarts) {
  ServiceConfig config = TestServiceConfig();
  const std::size_t cut = config.imagePath.rfind('/');
  config.imagePath[cut] = '\\';
  ServiceHandle service = 0;
  ASSERT_EQ(manager.CreateService(scm, config, SERVICE_ALL_ACCESS, &service), 0);
  ASSERT_EQ(manager.StartService(service), 0);
  ASSERT_TRUE(Reaches(service, SERVICE_RUNNING));
  EXPECT_EQ(ReadText(machine.Path("service-ran")), machine.paths.root + " " + kName);
  ServiceStatusReport status;
  EXPECT_EQ(manager.ControlService(service, SERVICE_CONTROL_SHUTDOWN, &status), 0);
  EXPECT_TRUE(Reaches(service, SERVICE_STOPPED));
  EXPECT_EQ(ReadText(machine.Path("last-control")), "5");
}

// A published status is judged without talking to anyone; the contract shows the trusted case,
// this one a pid that another process has taken since (its start time differs).
TEST_F(ServiceManagerTest, PublishedStatusIsTrustedOnlyForItsOwnLiveProcess) {
  const ServiceHandle service = Install();
  std::filesystem::create_directories(ServiceRunDirectory(machine.paths, kName));
  PublishedStatus published{::getpid(), *LiveProcessStartTime(::getpid()) + 1, {}};
  published.status.currentState = SERVICE_RUNNING;
  PosixFileSystem().ReplaceFile(ServiceStatusPath(machine.paths, kName),
                                FormatPublishedStatus(published));
  EXPECT_EQ(State(service), SERVICE_STOPPED);
}

}  // namespace
}  // namespace tamrix
