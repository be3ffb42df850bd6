#include "engine/request_processor.h"

#include <algorithm>
#include <cstring>

#include "common/address.h"
#include "engine/event_sink.h"
#include "engine/lease_table.h"
#include "engine/refusal_log.h"
#include "storage/allowed_client_list.h"
#include "storage/server_settings.h"

namespace tamrix {
namespace {

struct Destination {
  std::uint32_t address = kBroadcastAddress;
  std::uint16_t port = kClientPort;
  bool toRelayAgent = false;
};

// ciaddr first, then the relay agent (on the server port, as agents listen there), else
// broadcast. The request's broadcast flag does not change this.
Destination DestinationOf(const ParsedRequest& request) {
  if (request.clientAddress != 0) return {request.clientAddress, kClientPort, false};
  if (request.relayAddress != 0) return {request.relayAddress, kServerPort, true};
  return {};
}

// Addresses no relay agent can be reached at: this network, loopback, multicast, the reserved
// block and the limited broadcast.
bool IsUnusableRelayAddress(std::uint32_t giaddr) {
  const std::uint32_t first = giaddr >> 24;
  return first == 0 || first == 127 || first >= 224;
}

// The report after sending follows the reply's first option.
EventId SentEventOf(const DhcpMessage& message) {
  if (message.U8(dhcp_offset::kOptions) != dhcp_option::kMessageType) return EV_BOOTP_REPLY;
  switch (message.U8(dhcp_offset::kOptions + 2)) {
    case DHCPOFFER:
      return EV_OFFER;
    case DHCPNAK:
      return EV_NAK;
    default:
      return EV_ACK;
  }
}

Reply MakeReply(const ParsedRequest& request, const DhcpMessage& message,
                const Destination& destination) {
  Reply reply;
  reply.bytes = message.bytes;
  reply.destination = destination.address;
  reply.port = destination.port;
  reply.sentEvent = SentEventOf(message);
  reply.client = request.client;
  reply.reportedAddress = message.U32(dhcp_offset::kYiaddr);
  return reply;
}

}  // namespace

RequestProcessor::RequestProcessor(LeaseTable& table, const ServerSettings& settings,
                                   const AllowedClientList& allowedClients, EventSink& events,
                                   RefusalLog& refusals)
    : table_(table),
      settings_(settings),
      allowedClients_(allowedClients),
      events_(events),
      refusals_(refusals) {}

std::optional<Reply> RequestProcessor::HandleRequest(std::span<const std::uint8_t> datagram) {
  DhcpMessage message = DhcpMessage::FromDatagram(datagram);
  // An answer is never a request. Relayed answers go to port 67, so another server's answer to
  // a relay agent on this host arrives here too; taking it as a BOOTP request would answer it.
  if (message.U8(dhcp_offset::kOp) == kBootReply) return std::nullopt;
  const ParsedRequest request = ParseRequest(message);
  if (!IsPlausibleRelay(request.relayAddress)) {
    Refuse(request, RefusalReason::kBadRelayAddress);
    return std::nullopt;
  }
  if (!IsAdmitted(request.client)) {
    events_.Report(EV_CLIENT_REJECTED, &request.client, std::nullopt);
    Refuse(request, RefusalReason::kNotOnClientList);
    return std::nullopt;
  }
  return ActOn(request, message);
}

void RequestProcessor::ReportSent(const Reply& reply) {
  events_.Report(reply.sentEvent, &reply.client, reply.reportedAddress);
}

// The answer to a relayed request goes to giaddr on port 67. A forged giaddr would have the
// server send there (to itself, to a multicast group, to loopback) and would still hold a pool
// address for the offer, so such a request is dropped before the table is touched.
bool RequestProcessor::IsPlausibleRelay(std::uint32_t giaddr) {
  if (giaddr == 0) return true;  // not relayed
  return !IsUnusableRelayAddress(giaddr) && !table_.IsHostAddress(giaddr);
}

bool RequestProcessor::IsAdmitted(const ClientId& client) {
  if (settings_.CheckClient == 0) return true;
  return table_.FindReservedAddress(client) != 0 || allowedClients_.IsAllowedClient(client) != 0;
}

std::optional<Reply> RequestProcessor::ActOn(const ParsedRequest& request, DhcpMessage& message) {
  switch (request.messageType) {
    case kBootpRequest:
      return AnswerBootp(request, message);
    case DHCPDISCOVER:
      return AnswerDiscover(request, message);
    case DHCPREQUEST:
      return AnswerRequest(request, message);
    case DHCPDECLINE:
      TakeDecline(request);
      return std::nullopt;
    case DHCPRELEASE:
      TakeRelease(request);
      return std::nullopt;
    case DHCPINFORM:
      return AnswerInform(request, message);
    default:
      return std::nullopt;  // server-to-client types and unknown ones: not for us
  }
}

std::optional<Reply> RequestProcessor::AnswerBootp(const ParsedRequest& request,
                                                   DhcpMessage& message) {
  events_.Report(EV_BOOTP_REQUEST, &request.client, request.requestedAddress);
  const std::uint32_t reserved = table_.FindReservedAddress(request.client);
  if (reserved == 0) {
    events_.Report(EV_NO_ADDRESS, nullptr, std::nullopt);
    Refuse(request, RefusalReason::kBootpNotReserved);
    return std::nullopt;
  }
  std::array<char, kHostNameField> name{};
  const int nameLength = table_.FindReservedName(request.client, name);
  const std::string_view hostName(name.data(),
                                  std::clamp<std::size_t>(nameLength, 0, kMaxHostNameLength));
  const Destination destination = DestinationOf(request);
  if (!WriteBootpReply(message, {reserved, destination.toRelayAgent}, hostName, Values(true))) {
    return std::nullopt;
  }
  return MakeReply(request, message, destination);
}

std::optional<Reply> RequestProcessor::AnswerDiscover(const ParsedRequest& request,
                                                      DhcpMessage& message) {
  events_.Report(EV_DISCOVER, &request.client, std::nullopt);
  const std::uint32_t offered = table_.OfferAddress(request.hostName, request.client);
  if (offered == 0) {
    events_.Report(EV_NO_ADDRESS, nullptr, std::nullopt);
    Refuse(request, RefusalReason::kPoolExhausted);
    return std::nullopt;
  }
  return WriteDhcp(request, message, DhcpReplyKind::kOffer, offered);
}

std::optional<Reply> RequestProcessor::AnswerRequest(const ParsedRequest& request,
                                                     DhcpMessage& message) {
  const std::uint32_t requested = request.requestedAddress;
  events_.Report(EV_REQUEST, &request.client, requested);
  if (table_.IsOutsidePool(requested) != 0) {
    table_.CancelOffer(request.client);
    Refuse(request, RefusalReason::kAddressHeld);
    if (settings_.OptNACK == 0) return std::nullopt;
    return WriteDhcp(request, message, DhcpReplyKind::kNak, requested);
  }
  const bool granted = table_.ConfirmRequest(requested, request.hostName, request.client) == 1;
  if (!granted) Refuse(request, RefusalReason::kAddressHeld);
  return WriteDhcp(request, message, granted ? DhcpReplyKind::kAck : DhcpReplyKind::kNak,
                   requested);
}

std::optional<Reply> RequestProcessor::AnswerInform(const ParsedRequest& request,
                                                    DhcpMessage& message) {
  const std::uint32_t address = request.clientAddress;
  events_.Report(EV_INFORM, &request.client, address);
  if (settings_.OptDHCPINFORM == 0 || address == 0 || table_.IsOutsidePool(address) != 0) {
    return std::nullopt;
  }
  return WriteDhcp(request, message, DhcpReplyKind::kInformAnswer, 0);
}

// A client that finds its address in use names it in ciaddr or, as most clients do while they
// have no address yet, in option 50. Without either there is nothing to mark.
void RequestProcessor::TakeDecline(const ParsedRequest& request) {
  std::uint32_t declined = request.clientAddress;
  if (declined == 0 && request.hasRequestedOption) declined = request.requestedAddress;
  // The receipt is reported whoever sent it; a conflict only when the address was marked.
  events_.Report(EV_DECLINE, &request.client, declined);
  if (declined != 0 && table_.DeclineAddress(declined, request.client) == 1) {
    events_.Report(EV_ADDRESS_CONFLICT, nullptr, declined);
  } else {
    Refuse(request, RefusalReason::kDeclineIgnored);
  }
}

void RequestProcessor::TakeRelease(const ParsedRequest& request) {
  events_.Report(EV_RELEASE, &request.client, request.clientAddress);
  table_.ReleaseAddress(request.clientAddress, request.client);
}

// The table refuses an identifier over 17 bytes in every operation: whatever else the request
// ran into, that is why its client is never served. The relay address is judged before the
// client is looked at.
void RequestProcessor::Refuse(const ParsedRequest& request, RefusalReason reason) {
  if (reason != RefusalReason::kBadRelayAddress && request.client.length > kMaxClientIdLength) {
    reason = RefusalReason::kClientIdTooLong;
  }
  refusals_.Record(reason, request.client, request.hostName);
}

std::optional<Reply> RequestProcessor::WriteDhcp(const ParsedRequest& request, DhcpMessage& message,
                                                 DhcpReplyKind kind, std::uint32_t yiaddr) {
  const Destination destination = DestinationOf(request);
  const bool nak = kind == DhcpReplyKind::kNak;
  if (!WriteDhcpReply(message, kind, {yiaddr, destination.toRelayAgent}, request.requestMask,
                      Values(!nak))) {
    return std::nullopt;
  }
  return MakeReply(request, message, destination);
}

// The option values as the table holds them. The server identifier costs a host lookup, so it
// is only looked up for replies that carry it.
ReplyValues RequestProcessor::Values(bool withServerIdentifier) {
  ReplyValues v;
  v.subnetMask = table_.SubnetMask();
  v.router = table_.Gateway();
  v.nameServers[0] = table_.Dns1();
  v.nameServers[1] = table_.Dns2();
  v.domainName = table_.DomainName();
  v.netbiosNameServers[0] = table_.Wins1();
  v.netbiosNameServers[1] = table_.Wins2();
  v.netbiosScope = table_.ScopeId();
  v.smtp = table_.Smtp();
  v.pop3 = table_.Pop3();
  v.nntp = table_.Nntp();
  v.ntp = table_.Ntp();
  v.leaseTime = table_.LeaseTimeValue();
  v.renewalTime = table_.RenewalTime();
  v.rebindingTime = table_.RebindingTime();
  if (withServerIdentifier) {
    v.serverIdentifier = settings_.OptSrvAddr != 0 ? kBroadcastAddress : table_.ServerAddress();
  }
  return v;
}

}  // namespace tamrix
