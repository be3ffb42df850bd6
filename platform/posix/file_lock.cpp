#include "platform/posix/file_lock.h"

#include <sys/file.h>
#include <time.h>

#include <cerrno>

#include "platform/win32_error.h"

namespace tamrix {
namespace {

constexpr long kPollNanoseconds = 5'000'000;

long long MonotonicMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

}  // namespace

int LockWithin(int fd, int timeoutMs, bool exclusive) {
  const long long deadline = MonotonicMilliseconds() + (timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return ERROR_SUCCESS;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return ERROR_ACCESS_DENIED;
    if (MonotonicMilliseconds() >= deadline) return ERROR_TIMEOUT;
    const timespec pause{0, kPollNanoseconds};
    nanosleep(&pause, nullptr);
  }
}

}  // namespace tamrix
