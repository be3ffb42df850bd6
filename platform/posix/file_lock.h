#pragma once

namespace tamrix {

// Takes an flock on fd (exclusive or shared) within timeoutMs: 0, or ERROR_TIMEOUT (1460) when
// another process held it all that time, or ERROR_ACCESS_DENIED when it cannot be taken at all.
// A lock another process holds is never waited for without a bound.
int LockWithin(int fd, int timeoutMs, bool exclusive = true);

}  // namespace tamrix
