#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "common/client_id.h"
#include "common/operator_report.h"
#include "platform/request_endpoint.h"

namespace tamrix {

// What the operator endpoint asks of the server, from the endpoint's own thread: the engine in
// the programs, a stand-in in tests.
class OperatorBackend {
 public:
  virtual ~OperatorBackend() = default;
  virtual int FetchOperatorReport(OperatorReport& out) = 0;  // 1 filled, 0 not running
  virtual ReserveOutcome ReserveLease(std::uint32_t address, const ClientId& client,
                                      std::string_view hostName) = 0;
  virtual int AcknowledgeRogueServer(std::uint32_t serverIdentifier) = 0;  // 1 done, 0 not
};

// The reply to one request's bytes; empty (no reply) for bytes that are no request.
std::vector<std::uint8_t> AnswerOperatorRequest(std::span<const std::uint8_t> request,
                                                OperatorBackend& service);

// The server's operator endpoint (meeting::kOperatorEndpoint), served from construction to
// destruction. A server that cannot have it serves DHCP all the same: whatever keeps it from
// the endpoint (another live server, a run directory it may not use) stops its start too, or is
// reported there.
class OperatorEndpoint {
 public:
  OperatorEndpoint(RequestEndpointSystem& endpoints, OperatorBackend& service);
  bool IsServing() const { return endpoint_ != nullptr; }

 private:
  std::unique_ptr<RequestEndpoint> endpoint_;
};

}  // namespace tamrix
