#include "platform/posix/bus_error_guard.h"

#include <setjmp.h>
#include <signal.h>

#include <atomic>

namespace tamrix {

namespace {

struct GuardFrame {
  sigjmp_buf jump;
  GuardFrame* outer;
};

// The innermost guard of this thread. A plain pointer with constant initialisation, so the
// handler reads it without running any initialisation code.
constinit thread_local GuardFrame* innermost = nullptr;

// What SIGBUS did before the guards' handler came; written once, before the handler is in place.
struct sigaction previousAction {};

void OnBusError(int, siginfo_t* info, void*) {
  // Only a fault the hardware raised inside a body is ours; a SIGBUS sent with kill is obeyed.
  GuardFrame* frame = innermost;
  if (frame != nullptr && info != nullptr && info->si_code > 0) siglongjmp(frame->jump, 1);
  // Not ours: back to what was there before (the default, or a sanitizer's report), under which
  // the faulting instruction faults again as soon as this handler returns. A sent signal does not
  // come back by itself, so it is sent again; it stays pending until the handler returns.
  sigaction(SIGBUS, &previousAction, nullptr);
  if (info == nullptr || info->si_code <= 0) raise(SIGBUS);
}

bool InstallHandler() {
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  return sigaction(SIGBUS, &action, &previousAction) == 0;
}

}  // namespace

bool RunCatchingBusErrors(void (*body)(void*), void* context) noexcept {
  // Once per process, on first use: a program that never maps a shared object keeps SIGBUS as
  // it was.
  static const bool installed = InstallHandler();
  if (!installed) {
    body(context);
    return true;
  }
  GuardFrame frame;
  frame.outer = innermost;
  // The signal mask is saved too: the handler runs with SIGBUS blocked, and the jump out of it
  // must unblock it again.
  if (sigsetjmp(frame.jump, 1) != 0) {
    innermost = frame.outer;
    return false;
  }
  innermost = &frame;
  // The handler must see the frame before body's first touch, and body's last touch must come
  // before the frame is withdrawn; the compiler may not move memory accesses across these.
  std::atomic_signal_fence(std::memory_order_seq_cst);
  body(context);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  innermost = frame.outer;
  return true;
}

void AbandonGuardedBody() noexcept {
  if (GuardFrame* frame = innermost) siglongjmp(frame->jump, 1);
}

}  // namespace tamrix
