#pragma once

#include <cstdint>

namespace tamrix {

// One ICMP echo to a candidate address: the number of echo replies from that address within the
// wait (0 = silent). Implementations that cannot send answer 0, so the server keeps serving.
class ConflictProbe {
 public:
  virtual ~ConflictProbe() = default;
  virtual int SendEcho(std::uint32_t address, int timeoutMilliseconds) = 0;
};

// A probe that never hears a reply.
class SilentProbe final : public ConflictProbe {
 public:
  int SendEcho(std::uint32_t, int) override { return 0; }
};

}  // namespace tamrix
