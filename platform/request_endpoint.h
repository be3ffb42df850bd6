#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tamrix {

// Turns one request into its reply, on the endpoint's own thread. An empty reply answers nothing:
// the caller sees the endpoint hang up.
using RequestHandler = std::function<std::vector<std::uint8_t>(std::span<const std::uint8_t>)>;

// An endpoint this process serves, on a thread of its own, from its creation until it is
// destroyed; destruction returns once the handler has returned for the last time.
class RequestEndpoint {
 public:
  virtual ~RequestEndpoint() = default;
};

// Named request/reply endpoints of this machine, which only its operators may call: one request
// and one reply per call. The serving side bounds every wait on a caller, so a caller that stalls
// holds it up for a short while at most.
class RequestEndpointSystem {
 public:
  virtual ~RequestEndpointSystem() = default;
  // Serves the name; a request of more than maxRequestSize bytes is refused unanswered. Null when
  // the endpoint cannot be made, or while another live endpoint serves the name (one a dead
  // process left is taken over).
  virtual std::unique_ptr<RequestEndpoint> Serve(std::string_view name, std::size_t maxRequestSize,
                                                 RequestHandler handler) = 0;
  // The reply, or nothing when nobody serves the name, the endpoint hangs up, the reply is longer
  // than maxReplySize or the whole call would take more than timeoutMs.
  virtual std::optional<std::vector<std::uint8_t>> Call(std::string_view name,
                                                        std::span<const std::uint8_t> request,
                                                        std::size_t maxReplySize,
                                                        int timeoutMs) = 0;
};

}  // namespace tamrix
