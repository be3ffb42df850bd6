#pragma once

#include <string>
#include <vector>

#include "control_panel/service_control.h"

namespace tamrix::testing {

// A service that does what it is told at once. Calls are recorded by name; a start-up type is
// "applied" only when it is one of the three real types.
class FakeServiceControl final : public ServiceControl {
 public:
  explicit FakeServiceControl(bool isNT = true, ServiceStatus status = STATUS_STOPPED)
      : service(status), isNT_(isNT) {}

  bool IsNT() const override { return isNT_; }
  ServiceStatus status() const override { return status_; }
  StartupType startupType() const override { return startupType_; }
  void SetStartupType(StartupType type) override { startupType_ = type; }

  ServiceStatus QueryServiceStatusCode() override {
    calls.push_back("status");
    return status_ = service;
  }
  StartupType QueryStartupType() override {
    calls.push_back("startup");
    return startupType_ = applied;
  }
  int ApplyStartupType() override {
    calls.push_back("apply " + std::to_string(startupType_));
    if (startupType_ == STARTUP_UNKNOWN) return -1;
    applied = startupType_;
    return 0;
  }
  int StartTheService() override { return Command("start", STATUS_RUNNING); }
  int StopTheService() override { return Command("stop", STATUS_STOPPED); }
  int PauseTheService() override { return isNT_ ? Command("pause", STATUS_PAUSED) : 0; }
  int ContinueTheService() override { return isNT_ ? Command("continue", STATUS_RUNNING) : 0; }

  std::vector<std::string> calls;
  StartupType applied = STARTUP_MANUAL;  // what the machine holds
  ServiceStatus service;                 // what the service really is

 private:
  int Command(const char* name, ServiceStatus after) {
    calls.push_back(name);
    service = after;
    return 1;
  }

  bool isNT_;
  ServiceStatus status_ = STATUS_UNKNOWN;
  StartupType startupType_ = STARTUP_UNKNOWN;
};

}  // namespace tamrix::testing
