#pragma once

#include <vector>

#include "platform/clock.h"

namespace tamrix::testing {

// Time stands still until a test moves it; sleeps advance it and are recorded.
class FakeClock final : public Clock {
 public:
  explicit FakeClock(Seconds now = 1'000'000'000) : now_(now) {}
  Seconds Now() override { return now_; }
  void SleepMilliseconds(int milliseconds) override {
    sleeps.push_back(milliseconds);
    elapsedMs_ += milliseconds;
    now_ += static_cast<Seconds>(elapsedMs_ / 1000);
    elapsedMs_ %= 1000;
  }
  void Set(Seconds now) { now_ = now; }
  void Advance(Seconds seconds) { now_ += seconds; }

  std::vector<int> sleeps;

 private:
  Seconds now_;
  long long elapsedMs_ = 0;
};

}  // namespace tamrix::testing
