#pragma once

#include <cstdint>
#include <limits>

namespace tamrix {

// Seconds since 1970-01-01 00:00 UTC, signed 32-bit as stored in the lease record and files.
using Seconds = std::int32_t;

// Expiry arithmetic saturates: a sum beyond the signed 32-bit range becomes its largest value
// instead of wrapping into the past (which would end a lease at once).
constexpr Seconds AddSeconds(Seconds base, std::int64_t delta) {
  const std::int64_t sum = static_cast<std::int64_t>(base) + delta;
  if (sum > std::numeric_limits<Seconds>::max()) return std::numeric_limits<Seconds>::max();
  if (sum < std::numeric_limits<Seconds>::min()) return std::numeric_limits<Seconds>::min();
  return static_cast<Seconds>(sum);
}

}  // namespace tamrix
