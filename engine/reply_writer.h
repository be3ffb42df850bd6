#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/dhcp_message.h"

namespace tamrix {

// The values replies carry, as the lease table holds them (0 or empty = not configured).
struct ReplyValues {
  std::uint32_t subnetMask = 0;
  std::uint32_t router = 0;
  std::uint32_t nameServers[2] = {0, 0};
  std::string_view domainName;
  std::uint32_t netbiosNameServers[2] = {0, 0};
  std::string_view netbiosScope;
  std::uint32_t smtp = 0, pop3 = 0, nntp = 0, ntp = 0;
  std::uint32_t leaseTime = 0;         // option 51
  std::uint32_t renewalTime = 0;       // option 58
  std::uint32_t rebindingTime = 0;     // option 59
  std::uint32_t serverIdentifier = 0;  // option 54; siaddr of the BOOTP reply
};

enum class DhcpReplyKind { kOffer, kAck, kNak, kInformAnswer };

// Where a reply goes decides its giaddr: one sent back to the relay agent keeps the request's
// giaddr so the agent can tell which of its networks the answer belongs to.
struct ReplyAddressing {
  std::uint32_t yiaddr = 0;
  bool toRelayAgent = false;
};

// Each writer turns the request in the message into the reply, in place. Whatever is written
// stays inside the 548 bytes: an option that would not fit before the end option is left out, a
// text longer than 254 bytes is cut to 254, and the end option is always written. Each answers
// false and leaves the message as it was when the reply must not be sent (no subnet mask; for
// OFFER, ACK and INFORM answer also no server identifier).
bool WriteDhcpReply(DhcpMessage& message, DhcpReplyKind kind, ReplyAddressing addressing,
                    RequestMask requested, const ReplyValues& values);
bool WriteBootpReply(DhcpMessage& message, ReplyAddressing addressing, std::string_view hostName,
                     const ReplyValues& values);

}  // namespace tamrix
