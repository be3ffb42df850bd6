#pragma once

#include "platform/posix/unique_fd.h"
#include "service_95/message_loop.h"
#include "service_95/service_frame.h"

namespace tamrix {

// Outliving the session: the process leaves its session (setsid) and ignores the hang-up that a
// log-off sends. Taking the registration back lets a hang-up end it again.
class SessionDetach final : public ServiceProcessRegistration {
 public:
  int RegisterServiceProcess(int type) override;
};

// SIGTERM (the machine shuts down) and SIGINT, taken through a signalfd. The signals must be
// blocked in every thread, so call BlockShutdownSignals before any thread starts.
class SignalShutdownNotice final : public ShutdownNotice {
 public:
  SignalShutdownNotice();
  int Fd() const override { return fd_.get(); }
  bool Take() override;
  bool IsOpen() const { return fd_.valid(); }

 private:
  UniqueFd fd_;
};

void BlockShutdownSignals();

}  // namespace tamrix
