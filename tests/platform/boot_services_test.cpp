#include "platform/boot_services.h"

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "platform/posix/detached_process.h"
#include "platform/posix/file_registry.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_service_manager.h"
#include "tests/fakes/fake_registry.h"
#include "tests/fakes/fake_service_manager.h"
#include "tests/platform/temp_machine.h"

namespace tamrix {
namespace {

using testing::FakeRegistry;
using testing::FakeServiceManager;
using testing::TempMachine;

constexpr const char* kRunServicesFull =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
constexpr const char* kServicesFull = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";

ServiceConfig Config(const std::string& name, std::uint32_t startType) {
  ServiceConfig config;
  config.name = name;
  config.startType = startType;
  config.imagePath = "/bin/" + name;
  return config;
}

class BootServicesTest : public ::testing::Test {
 protected:
  // Registers the service with both fakes, as the real manager keeps it in the registry.
  void Register(const std::string& name, std::uint32_t startType,
                std::uint32_t state = SERVICE_STOPPED) {
    registry.Put(std::string(kServicesFull) + "\\" + name, "Start", REG_DWORD,
                 RegistryDwordData(startType));
    manager.Install(Config(name, startType), state);
  }

  FakeRegistry registry;
  FakeServiceManager manager;
  std::vector<std::string> launched;
  ProgramLauncher launch = [this](const std::string& path) {
    launched.push_back(path);
    return path.find("missing") == std::string::npos ? 0 : ERROR_FILE_NOT_FOUND;
  };
};

TEST_F(BootServicesTest, OnlyAutomaticServicesStart) {
  Register("Auto", SERVICE_AUTO_START);
  Register("Manual", SERVICE_DEMAND_START);
  Register("Off", SERVICE_DISABLED);
  Register("AlreadyUp", SERVICE_AUTO_START, SERVICE_RUNNING);
  registry.Put(std::string(kServicesFull) + "\\EventLog\\Application\\TAMXNTs", "TypesSupported",
               REG_DWORD, RegistryDwordData(7));

  const BootOutcome outcome = StartBootServices(registry, manager, launch);
  EXPECT_EQ(outcome.startedServices, std::vector<std::string>{"Auto"});
  EXPECT_TRUE(outcome.failures.empty());
  EXPECT_EQ(manager.Find("Auto")->status.currentState, SERVICE_RUNNING);
  EXPECT_EQ(manager.Find("Manual")->status.currentState, SERVICE_STOPPED);
  EXPECT_EQ(manager.Find("Off")->status.currentState, SERVICE_STOPPED);
  EXPECT_TRUE(launched.empty());
  EXPECT_TRUE(manager.handles.empty());  // every handle closed
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(BootServicesTest, AFailedStartIsReportedAndTheOthersStillRun) {
  Register("First", SERVICE_AUTO_START);
  Register("Second", SERVICE_AUTO_START);
  manager.failures["StartService"] = ERROR_FILE_NOT_FOUND;
  registry.Put(kRunServicesFull, "TAMRIXs", REG_SZ, RegistryStringData("/p/TAMRIXs.exe"));

  const BootOutcome outcome = StartBootServices(registry, manager, launch);
  EXPECT_EQ(outcome.failures,
            (std::vector<std::string>{"service First: error 2", "service Second: error 2"}));
  EXPECT_EQ(outcome.launchedPrograms, std::vector<std::string>{"/p/TAMRIXs.exe"});
}

TEST_F(BootServicesTest, EveryStringValueUnderRunServicesIsLaunched) {
  registry.Put(kRunServicesFull, "TAMRIXs", REG_SZ, RegistryStringData("/p/TAMRIXs.exe"));
  registry.Put(kRunServicesFull, "Expand", REG_EXPAND_SZ, RegistryStringData("/p/other"));
  registry.Put(kRunServicesFull, "Binary", REG_BINARY, "/p/binary");
  registry.Put(kRunServicesFull, "Empty", REG_SZ, RegistryStringData(""));
  registry.Put(kRunServicesFull, "Gone", REG_SZ, RegistryStringData("/p/missing"));

  const BootOutcome outcome = StartBootServices(registry, manager, launch);
  EXPECT_EQ(launched, (std::vector<std::string>{"/p/TAMRIXs.exe", "/p/other", "/p/missing"}));
  EXPECT_EQ(outcome.launchedPrograms, (std::vector<std::string>{"/p/TAMRIXs.exe", "/p/other"}));
  EXPECT_EQ(outcome.failures, std::vector<std::string>{"program /p/missing: error 2"});
}

TEST_F(BootServicesTest, ShutdownGoesOnlyToRunningServicesThatAcceptIt) {
  Register("Running", SERVICE_AUTO_START, SERVICE_RUNNING);
  Register("Paused", SERVICE_DEMAND_START, SERVICE_PAUSED);
  Register("Starting", SERVICE_DEMAND_START, SERVICE_START_PENDING);
  Register("Stopped", SERVICE_DEMAND_START);

  EXPECT_EQ(ShutdownServices(registry, manager), 2);
  EXPECT_EQ(manager.Find("Running")->status.currentState, SERVICE_STOPPED);
  EXPECT_EQ(manager.Find("Paused")->status.currentState, SERVICE_STOPPED);
  EXPECT_EQ(manager.Find("Starting")->status.currentState, SERVICE_START_PENDING);
}

// The boot program on a real machine root: the automatic service runs afterwards, and the
// RunServices program (the same test program, which is no service when launched plainly) ran.
TEST(BootProgram, StartsAutomaticServicesAndRunServicesPrograms) {
  TempMachine machine;
  FileRegistry registry(machine.paths);
  PosixServiceManager manager(machine.paths, registry);
  ServiceHandle scm = 0;
  ASSERT_EQ(manager.OpenManager(SC_MANAGER_CREATE_SERVICE, &scm), 0);
  ServiceConfig config;
  config.name = "TamrixTestService";
  config.startType = SERVICE_AUTO_START;
  config.imagePath = TAMRIX_TEST_SERVICE;
  ServiceHandle service = 0;
  ASSERT_EQ(manager.CreateService(scm, config, SERVICE_ALL_ACCESS, &service), 0);
  RegistryKey key = 0;
  ASSERT_EQ(registry.CreateKey(HKEY_LOCAL_MACHINE, kRunServicesKeyPath, REG_OPTION_VOLATILE,
                               KEY_ALL_ACCESS, &key),
            0);
  ASSERT_EQ(registry.SetValue(key, "TAMRIXs", REG_SZ, RegistryStringData(TAMRIX_TEST_SERVICE)), 0);

  const std::string command = "TAMRIX_SYSROOT='" + machine.paths.root + "' '" +
                              TAMRIX_BOOT_PROGRAM + "' >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);

  // The boot returns once the service has connected; it reaches RUNNING by itself.
  ServiceStatusReport status;
  bool running = false;
  for (int i = 0; i < 1000 && !running; ++i) {
    running = manager.QueryServiceStatus(service, &status) == 0 &&
              status.currentState == SERVICE_RUNNING;
    if (!running) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(running);
  PosixFileSystem files;
  bool launchedRan = false;
  for (int i = 0; i < 1000 && !launchedRan; ++i) {
    launchedRan = files.ReadFile(machine.Path("dispatcher-error")) == std::optional<std::string>("1063");
    if (!launchedRan) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(launchedRan);

  // The machine's end: the service gets the shutdown control and stops.
  EXPECT_EQ(std::system(("TAMRIX_SYSROOT='" + machine.paths.root + "' '" + TAMRIX_BOOT_PROGRAM +
                         "' --shutdown >/dev/null 2>&1")
                            .c_str()),
            0);
  EXPECT_EQ(files.ReadFile(machine.Path("last-control")), std::optional<std::string>("5"));
  bool stopped = false;
  for (int i = 0; i < 1000 && !stopped; ++i) {
    stopped = manager.QueryServiceStatus(service, &status) == 0 &&
              status.currentState == SERVICE_STOPPED;
    if (!stopped) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(stopped);
  if (!stopped) {
    const auto published =
        ParsePublishedStatus(files.ReadFile(ServiceStatusPath(machine.paths, config.name)).value_or(""));
    if (published) ::kill(published->pid, SIGKILL);
  }
}

}  // namespace
}  // namespace tamrix
