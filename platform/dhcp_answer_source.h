#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace tamrix {

// A DHCP or BOOTP answer (UDP from port 67 to port 68) seen on one of this machine's segments,
// whoever sent it.
struct HeardAnswer {
  std::span<const std::uint8_t> message;  // the UDP payload; valid during the call only
  std::uint32_t sourceAddress = 0;        // IPv4 source, host byte order
  std::array<std::uint8_t, 6> sourceHardwareAddress{};
};

// Listens to the segments for other servers' answers. It only listens: it never sends, and
// never takes a port a DHCP client on this machine may need.
class DhcpAnswerSource {
 public:
  virtual ~DhcpAnswerSource() = default;
  // Calls `heard` on a thread of its own for each answer until Stop. 1 when listening; 0 when
  // it cannot (no privilege to watch), and then nothing is ever heard.
  virtual int Start(std::function<void(const HeardAnswer&)> heard) = 0;
  // Returns once `heard` is no longer running and will not be called again.
  virtual void Stop() = 0;
};

}  // namespace tamrix
