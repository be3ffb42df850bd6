#include "status/operator_client.h"

#include <utility>

#include "common/meeting_names.h"
#include "platform/machine_paths.h"
#include "platform/posix/posix_request_endpoint.h"
#include "status/operator_messages.h"

namespace tamrix {
namespace {

// The whole call, connection to reply: a service that hangs must not hang the panel.
constexpr int kCallTimeoutMs = 3000;

// The service's reply, or nothing when it is not there, hangs up or answers nonsense.
std::optional<OperatorReply> Call(OperatorRequestKind kind, OperatorRequest request = {}) {
  request.kind = kind;
  PosixRequestEndpointSystem endpoints(MachinePaths::FromEnvironment());
  const auto bytes = endpoints.Call(meeting::kOperatorEndpoint, EncodeOperatorRequest(request),
                                    kMaxOperatorReplySize, kCallTimeoutMs);
  if (!bytes) return std::nullopt;
  return DecodeOperatorReply(*bytes);
}

}  // namespace

int FetchOperatorReport(OperatorReport& out) {
  auto reply = Call(OperatorRequestKind::kFetchReport);
  if (!reply || reply->result != 1 || !reply->report) return -1;
  out = std::move(*reply->report);
  return 0;
}

ReserveOutcome RequestReservation(std::uint32_t address, const ClientId& client,
                                  std::string_view hostName) {
  OperatorRequest request;
  request.address = address;
  request.client = client;
  request.hostName = hostName;
  const auto reply = Call(OperatorRequestKind::kReserve, std::move(request));
  if (!reply || reply->report) return ReserveOutcome::kNoService;
  switch (static_cast<ReserveOutcome>(reply->result)) {
    case ReserveOutcome::kReserved:
    case ReserveOutcome::kNoService:
    case ReserveOutcome::kOutsidePool:
    case ReserveOutcome::kClientHasReservation:
    case ReserveOutcome::kAddressTaken:
    case ReserveOutcome::kRefused:
      return static_cast<ReserveOutcome>(reply->result);
  }
  return ReserveOutcome::kRefused;  // a refusal this panel has no words for
}

int AcknowledgeRogueServer(std::uint32_t serverIdentifier) {
  OperatorRequest request;
  request.serverIdentifier = serverIdentifier;
  const auto reply = Call(OperatorRequestKind::kAcknowledge, request);
  return reply && !reply->report && reply->result == 1 ? 0 : -1;
}

}  // namespace tamrix
