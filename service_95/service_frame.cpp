#include "service_95/service_frame.h"

#include <utility>

namespace tamrix {

ServiceFrame::ServiceFrame(WindowSystem& windows, ServiceEngine& engine,
                           ServiceProcessRegistration& registration, Warn warn)
    : windows_(windows), engine_(engine), registration_(registration), warn_(std::move(warn)) {}

ServiceFrame::~ServiceFrame() = default;

bool ServiceFrame::Launch() {
  if (windows_.FindWindow(kServiceWindowClass, kServiceWindowTitle)) {
    anotherCopyRuns_ = true;
    warn_(kAlreadyRunningMessage);
    return false;
  }
  registration_.RegisterServiceProcess(1);
  window_ = windows_.CreateWindow(kServiceWindowClass, kServiceWindowTitle,
                                  [this](const WindowMessage& m) { return WindowProcedure(m); });
  if (!window_) {
    // Another copy may have taken the window between the look and the creation; that copy
    // serves, and this one says so just as if it had been found first.
    if (windows_.FindWindow(kServiceWindowClass, kServiceWindowTitle)) {
      anotherCopyRuns_ = true;
      warn_(kAlreadyRunningMessage);
    }
    return false;
  }
  WindowProcedure({WM_CREATE, 0, 0});
  return !quitPosted_;
}

std::int64_t ServiceFrame::WindowProcedure(const WindowMessage& message) {
  switch (message.message) {
    case WM_CREATE:
      // A refused start closes the window at once, undoing whatever part of the start succeeded.
      if (engine_.EngineStart() == 0) WindowProcedure({WM_CLOSE, 0, 0});
      return 0;
    case WM_DESTROY:
      quitPosted_ = true;
      exitCode_ = 0;
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_QUERYOPEN:
      return 0;  // the window stays minimised
    case WM_ENDSESSION:
      if (message.lParam == 0 && window_ && !window_->IsDestroyed()) {
        registration_.RegisterServiceProcess(0);
        Close();
      }
      return 0;
    default:
      return 0;
  }
}

// Stops the engine (the lease database is written there) before the window goes, so whoever
// sent the close finds the file complete once its call returns.
void ServiceFrame::Close() {
  if (!window_ || window_->IsDestroyed()) return;  // a second stop request finds nothing to do
  engine_.EngineStop();
  window_->Destroy();
  WindowProcedure({WM_DESTROY, 0, 0});
}

}  // namespace tamrix
