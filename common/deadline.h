#pragma once

#include <algorithm>
#include <chrono>

namespace tamrix {

// A bound on a wait that spans several calls: each call gets what is left of it. The clock is
// the monotonic one, so a change of the machine's time neither stretches nor cuts the wait.
class Deadline {
 public:
  explicit Deadline(int milliseconds)
      : end_(std::chrono::steady_clock::now() +
             std::chrono::milliseconds(std::max(0, milliseconds))) {}

  // Milliseconds left, at least 0.
  int LeftMs() const {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
  }

 private:
  std::chrono::steady_clock::time_point end_;
};

}  // namespace tamrix
