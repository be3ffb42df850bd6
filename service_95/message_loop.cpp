#include "service_95/message_loop.h"

#include <poll.h>

#include <cerrno>

namespace tamrix {

int RunMessageLoop(ServiceFrame& frame, ShutdownNotice& shutdown) {
  while (!frame.QuitPosted()) {
    Window* window = frame.ServiceWindow();
    if (window == nullptr || window->IsDestroyed()) break;
    pollfd waiting[2] = {{window->MessageFd(), POLLIN, 0}, {shutdown.Fd(), POLLIN, 0}};
    if (poll(waiting, 2, -1) < 0) {
      if (errno == EINTR) continue;
      // The loop cannot wait any more; stop as at shutdown so the leases are kept.
      frame.EndSession(0);
      break;
    }
    if ((waiting[1].revents & POLLIN) != 0 && shutdown.Take()) frame.EndSession(0);
    if (!frame.QuitPosted() && waiting[0].revents != 0) window->DispatchMessages(0);
  }
  return frame.ExitCode();
}

}  // namespace tamrix
