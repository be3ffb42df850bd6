#pragma once

#include "service_95/service_frame.h"

namespace tamrix {

// Where the system's shutdown notice arrives: a descriptor that turns readable, and a way to
// take the notice off it.
class ShutdownNotice {
 public:
  virtual ~ShutdownNotice() = default;
  virtual int Fd() const = 0;
  virtual bool Take() = 0;  // true when a shutdown was announced
};

// Handles window messages and shutdown notices on this thread until the service window is gone;
// answers the exit code.
int RunMessageLoop(ServiceFrame& frame, ShutdownNotice& shutdown);

}  // namespace tamrix
