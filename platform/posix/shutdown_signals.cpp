#include "platform/posix/shutdown_signals.h"

#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

#include "platform/wait.h"

namespace tamrix {
namespace {

sigset_t ShutdownSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

void BlockShutdownSignals() {
  const sigset_t set = ShutdownSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void UnblockShutdownSignals() {
  const sigset_t set = ShutdownSignals();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

SignalShutdownNotice::SignalShutdownNotice() {
  const sigset_t set = ShutdownSignals();
  fd_.Reset(signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
}

bool SignalShutdownNotice::Take() {
  bool announced = false;
  signalfd_siginfo info{};
  while (::read(fd_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    announced = true;
  }
  return announced;
}

ShutdownSignalWatcher::ShutdownSignalWatcher(std::function<void()> onSignal)
    : onSignal_(std::move(onSignal)), wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  BlockShutdownSignals();
  if (!signals_.IsOpen() || !wake_.valid()) {
    // Without a way to take them, the signals keep their default action.
    UnblockShutdownSignals();
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
    const int fds[2] = {signals_.Fd(), wake_.get()};
    bool ready[2] = {false, false};
    if (!WaitForInput(fds, ready) || ready[1]) return;
    if (ready[0] && signals_.Take()) onSignal_();
  }
}

}  // namespace tamrix
