#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "common/address.h"
#include "common/client_id.h"
#include "common/event_catalogue.h"
#include "common/operator_report.h"
#include "engine/dhcp_message.h"
#include "engine/reply_writer.h"

namespace tamrix {

class AllowedClientList;
class EventSink;
class LeaseTable;
class RefusalLog;
struct ServerSettings;

// A reply ready to send, and the report that follows a successful send.
struct Reply {
  std::array<std::uint8_t, kDhcpMessageSize> bytes{};
  std::uint32_t destination = 0;     // host order
  std::uint16_t port = kClientPort;  // a relay agent is answered on the server port
  EventId sentEvent = EV_OFFER;      // 1002, 1005, 1006 or 1101
  ClientId client;
  std::uint32_t reportedAddress = 0;
};

// The server's rules for one request, free of I/O: bytes in, a reply (or none) out, reports to
// the sink, and every request left unserved or refused to the refusal log with its reason. Time
// comes from the lease table's clock.
class RequestProcessor {
 public:
  RequestProcessor(LeaseTable& table, const ServerSettings& settings,
                   const AllowedClientList& allowedClients, EventSink& events,
                   RefusalLog& refusals);

  // Handles one received datagram (longer ones are read cut to 548 bytes).
  std::optional<Reply> HandleRequest(std::span<const std::uint8_t> datagram);
  // Makes the report that belongs to a reply once it has been sent.
  void ReportSent(const Reply& reply);

 private:
  bool IsPlausibleRelay(std::uint32_t giaddr);
  bool IsAdmitted(const ClientId& client);
  std::optional<Reply> ActOn(const ParsedRequest& request, DhcpMessage& message);
  std::optional<Reply> AnswerBootp(const ParsedRequest& request, DhcpMessage& message);
  std::optional<Reply> AnswerDiscover(const ParsedRequest& request, DhcpMessage& message);
  std::optional<Reply> AnswerRequest(const ParsedRequest& request, DhcpMessage& message);
  std::optional<Reply> AnswerInform(const ParsedRequest& request, DhcpMessage& message);
  void TakeDecline(const ParsedRequest& request);
  void TakeRelease(const ParsedRequest& request);
  void Refuse(const ParsedRequest& request, RefusalReason reason);
  std::optional<Reply> WriteDhcp(const ParsedRequest& request, DhcpMessage& message,
                                 DhcpReplyKind kind, std::uint32_t yiaddr);
  ReplyValues Values(bool withServerIdentifier);

  LeaseTable& table_;
  const ServerSettings& settings_;
  const AllowedClientList& allowedClients_;
  EventSink& events_;
  RefusalLog& refusals_;
};

}  // namespace tamrix
