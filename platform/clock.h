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

}  // namespace tamrix
