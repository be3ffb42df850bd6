#pragma once

#include "control_panel/service_control.h"
#include "platform/clock.h"

namespace tamrix {

// Polling of WaitForStatus: one pause between derivations, and the pause that gives up.
inline constexpr int kStatusPollMs = 50;
inline constexpr int kStatusGiveUpPause = 1001;

// What both hosts' controllers share: the last status and start-up type, and waiting for a
// status by deriving it again and again. Each host says only how it derives and reads them.
class PolledServiceControl : public ServiceControl {
 public:
  PolledServiceControl(const PolledServiceControl&) = delete;
  PolledServiceControl& operator=(const PolledServiceControl&) = delete;

  ServiceStatus status() const final { return status_; }
  StartupType startupType() const final { return startupType_; }
  void SetStartupType(StartupType type) final { startupType_ = type; }

  ServiceStatus QueryServiceStatusCode() final;
  StartupType QueryStartupType() final;

  // Derives the status until it is target: 1 when reached, 0 at the kStatusGiveUpPause-th pause.
  int WaitForStatus(ServiceStatus target);

  // How many times the status was derived since the object was made (tests count the polls).
  int derivations() const { return derivations_; }

 protected:
  explicit PolledServiceControl(Clock& clock) : clock_(clock) {}

  virtual ServiceStatus DeriveStatus() = 0;
  virtual StartupType ReadStartupType() = 0;

  Clock& clock() { return clock_; }

 private:
  Clock& clock_;
  ServiceStatus status_ = STATUS_UNKNOWN;
  StartupType startupType_ = STARTUP_UNKNOWN;
  int derivations_ = 0;
};

}  // namespace tamrix
