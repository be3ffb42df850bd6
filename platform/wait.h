#pragma once

#include <span>

namespace tamrix {

// Waits without a time limit until at least one of fds is readable, hung up or failed, and marks
// those in ready (as many as fds); the caller's read then tells which. A negative descriptor is
// never ready. An interrupted wait goes on. False when waiting itself failed.
bool WaitForInput(std::span<const int> fds, std::span<bool> ready);

}  // namespace tamrix
