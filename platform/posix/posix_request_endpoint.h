#pragma once

#include <string>

#include "platform/machine_paths.h"
#include "platform/request_endpoint.h"

namespace tamrix {

// How long the serving side waits on one caller for its request, and for room for the reply.
inline constexpr int kEndpointPeerTimeoutMs = 1000;

// Each endpoint is a listening SOCK_SEQPACKET Unix socket of that name in the run directory: a
// call is one connection carrying one request message and one reply message. Only root and the
// group "tamrix" reach the folder, and the serving side checks each caller's account again.
class PosixRequestEndpointSystem final : public RequestEndpointSystem {
 public:
  explicit PosixRequestEndpointSystem(MachinePaths paths,
                                      int peerTimeoutMs = kEndpointPeerTimeoutMs);
  std::unique_ptr<RequestEndpoint> Serve(std::string_view name, std::size_t maxRequestSize,
                                         RequestHandler handler) override;
  std::optional<std::vector<std::uint8_t>> Call(std::string_view name,
                                                std::span<const std::uint8_t> request,
                                                std::size_t maxReplySize, int timeoutMs) override;

  std::string EndpointPath(std::string_view name) const;

 private:
  MachinePaths paths_;
  int peerTimeoutMs_;
};

}  // namespace tamrix
