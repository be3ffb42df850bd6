#pragma once

#include "platform/process.h"
#include "service_95/service_frame.h"

namespace tamrix {

// Outliving the session: the process leaves its session and ignores the hang-up that a log-off
// sends. Taking the registration back lets a hang-up end it again.
class SessionDetach final : public ServiceProcessRegistration {
 public:
  int RegisterServiceProcess(int type) override {
    OutliveSession(type != 0);
    return 1;
  }
};

}  // namespace tamrix
