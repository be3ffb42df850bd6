#pragma once

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/posix/file_registry.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_service_manager.h"
#include "tests/platform/temp_machine.h"

namespace tamrix::testing {

inline constexpr const char* kTestServiceName = "TamrixTestService";

// The small test service program (TAMRIX_TEST_SERVICE) under kTestServiceName.
inline ServiceConfig TestServiceConfig() {
  ServiceConfig config;
  config.name = kTestServiceName;
  config.displayName = "Test Service";
  config.imagePath = TAMRIX_TEST_SERVICE;
  return config;
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

// Installs the test service through a service manager, fake or real, and follows its state.
class TestServiceSteps {
 public:
  explicit TestServiceSteps(ServiceManager& manager) : manager_(manager) {
    EXPECT_EQ(manager_.OpenManager(SC_MANAGER_CREATE_SERVICE, &scm), 0);
  }

  ServiceHandle Install() {
    ServiceHandle service = 0;
    EXPECT_EQ(manager_.CreateService(scm, TestServiceConfig(), SERVICE_ALL_ACCESS, &service), 0);
    return service;
  }
  std::uint32_t State(ServiceHandle service) {
    ServiceStatusReport status;
    EXPECT_EQ(manager_.QueryServiceStatus(service, &status), 0);
    return status.currentState;
  }
  bool Reaches(ServiceHandle service, std::uint32_t state) {
    return Eventually([&] { return State(service) == state; });
  }

  ServiceHandle scm = 0;

 private:
  ServiceManager& manager_;
};

// A machine root of its own with the real registry and service manager.
class ServiceMachine {
 public:
  ServiceMachine() { manager.SetTimeouts(5000, 5000); }
  ~ServiceMachine() {
    // No test leaves a service process behind. A service dispatched inside the test process
    // publishes this process: that one must live on.
    const std::string path = ServiceStatusPath(machine.paths, kTestServiceName);
    const auto published = ParsePublishedStatus(PosixFileSystem().ReadFile(path).value_or(""));
    if (published && published->pid != ::getpid() &&
        LiveProcessStartTime(published->pid) == published->startTime) {
      ::kill(published->pid, SIGKILL);
    }
  }

  TempMachine machine;
  FileRegistry registry{machine.paths, "boot-1"};
  PosixServiceManager manager{machine.paths, registry};
};

}  // namespace tamrix::testing
