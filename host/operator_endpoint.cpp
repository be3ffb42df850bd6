#include "host/operator_endpoint.h"

#include "common/meeting_names.h"
#include "status/operator_messages.h"

namespace tamrix {

std::vector<std::uint8_t> AnswerOperatorRequest(std::span<const std::uint8_t> request,
                                                OperatorBackend& service) {
  const std::optional<OperatorRequest> decoded = DecodeOperatorRequest(request);
  if (!decoded) return {};
  switch (decoded->kind) {
    case OperatorRequestKind::kFetchReport: {
      OperatorReport report;
      if (service.FetchOperatorReport(report) != 1) return EncodeOperatorReply(0);
      return EncodeOperatorReply(1, &report);
    }
    case OperatorRequestKind::kReserve:
      return EncodeOperatorReply(static_cast<std::int32_t>(
          service.ReserveLease(decoded->address, decoded->client, decoded->hostName)));
    case OperatorRequestKind::kAcknowledge:
      return EncodeOperatorReply(
          service.AcknowledgeRogueServer(decoded->serverIdentifier) == 1 ? 1 : 0);
  }
  return {};
}

OperatorEndpoint::OperatorEndpoint(RequestEndpointSystem& endpoints, OperatorBackend& service)
    : endpoint_(endpoints.Serve(meeting::kOperatorEndpoint, kMaxOperatorRequestSize,
                                [&service](std::span<const std::uint8_t> request) {
                                  return AnswerOperatorRequest(request, service);
                                })) {}

}  // namespace tamrix
