#pragma once

#include "common/time.h"

namespace tamrix {

// Wall-clock seconds and sleeps; tests inject a fake that moves only when told.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual Seconds Now() = 0;
  virtual void SleepMilliseconds(int milliseconds) = 0;
};

// A moment in this machine's local time (its time zone, TZ when set); month 1-12.
struct LocalDateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
// All zeros when the moment cannot be converted.
LocalDateTime ToLocalDateTime(Seconds time);

}  // namespace tamrix
