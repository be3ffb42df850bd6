#pragma once

#include "platform/clock.h"

namespace tamrix {

class SystemClock final : public Clock {
 public:
  Seconds Now() override;
  void SleepMilliseconds(int milliseconds) override;
};

}  // namespace tamrix
