#pragma once

#include "platform/shutdown_signals.h"
#include "service_95/service_frame.h"

namespace tamrix {

// Handles window messages and shutdown notices on this thread until the service window is gone;
// answers the exit code.
int RunMessageLoop(ServiceFrame& frame, ShutdownNotice& shutdown);

}  // namespace tamrix
