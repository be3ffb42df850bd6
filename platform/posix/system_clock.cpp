#include "platform/posix/system_clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace tamrix {

Seconds SystemClock::Now() { return static_cast<Seconds>(std::time(nullptr)); }

void SystemClock::SleepMilliseconds(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace tamrix
