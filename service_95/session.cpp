#include "service_95/session.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

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

int SessionDetach::RegisterServiceProcess(int type) {
  if (type == 0) {
    signal(SIGHUP, SIG_DFL);
    return 1;
  }
  signal(SIGHUP, SIG_IGN);
  // A process group leader cannot leave its session; ignoring the hang-up still keeps it alive
  // when its terminal goes.
  if (getsid(0) != getpid()) setsid();
  return 1;
}

void BlockShutdownSignals() {
  const sigset_t set = ShutdownSignals();
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

SignalShutdownNotice::SignalShutdownNotice() {
  const sigset_t set = ShutdownSignals();
  fd_.Reset(signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
}

bool SignalShutdownNotice::Take() {
  bool announced = false;
  signalfd_siginfo info{};
  while (read(fd_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    announced = true;
  }
  return announced;
}

}  // namespace tamrix
