#include "service_95/message_loop.h"

#include "platform/wait.h"

namespace tamrix {

int RunMessageLoop(ServiceFrame& frame, ShutdownNotice& shutdown) {
  while (!frame.QuitPosted()) {
    Window* window = frame.ServiceWindow();
    if (window == nullptr || window->IsDestroyed()) break;
    const int waiting[2] = {window->MessageFd(), shutdown.Fd()};
    bool ready[2] = {false, false};
    if (!WaitForInput(waiting, ready)) {
      // The loop cannot wait any more; stop as at shutdown so the leases are kept.
      frame.EndSession(0);
      break;
    }
    if (ready[1] && shutdown.Take()) frame.EndSession(0);
    if (!frame.QuitPosted() && ready[0]) window->DispatchMessages(0);
  }
  return frame.ExitCode();
}

}  // namespace tamrix
