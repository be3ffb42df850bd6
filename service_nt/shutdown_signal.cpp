#include "service_nt/shutdown_signal.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

namespace tamrix {

ShutdownSignalWatcher::ShutdownSignalWatcher(std::function<void()> onSignal)
    : onSignal_(std::move(onSignal)) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signals_.Reset(signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
  wake_.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!signals_.valid() || !wake_.valid()) {
    // Without a way to take them, the signals keep their default action.
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return;
  }
  thread_ = std::thread([this] { Watch(); });
}

ShutdownSignalWatcher::~ShutdownSignalWatcher() {
  if (!thread_.joinable()) return;
  const std::uint64_t one = 1;
  (void)!::write(wake_.get(), &one, sizeof one);
  thread_.join();
}

void ShutdownSignalWatcher::Watch() {
  for (;;) {
    pollfd fds[2] = {{signals_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if ((fds[1].revents & POLLIN) != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    signalfd_siginfo info{};
    bool taken = false;
    while (::read(signals_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      taken = true;
    }
    if (taken) onSignal_();
  }
}

}  // namespace tamrix
