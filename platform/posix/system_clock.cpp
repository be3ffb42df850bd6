#include "platform/posix/system_clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace tamrix {

Seconds SystemClock::Now() { return static_cast<Seconds>(std::time(nullptr)); }

void SystemClock::SleepMilliseconds(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

LocalDateTime ToLocalDateTime(Seconds time) {
  const std::time_t t = time;
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return {};
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

}  // namespace tamrix
