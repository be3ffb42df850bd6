#include "engine/reply_writer.h"

#include <algorithm>
#include <array>
#include <span>

namespace tamrix {
namespace {

using namespace dhcp_offset;
namespace opt = dhcp_option;

inline constexpr std::size_t kMaxTextOptionChars = 254;  // plus the zero byte: length 255
inline constexpr std::uint8_t kNetbiosNodeTypeH = 8;

// Writes options from offset 240 and keeps one byte free for the end option, so nothing ever
// lands past the buffer and the end option always fits.
class OptionWriter {
 public:
  explicit OptionWriter(DhcpMessage& message) : message_(message) {}

  void Put(std::uint8_t code, std::span<const std::uint8_t> data) {
    if (data.size() > 255 || offset_ + 2 + data.size() + 1 > kDhcpMessageSize) return;
    message_.bytes[offset_++] = code;
    message_.bytes[offset_++] = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), message_.bytes.begin() + offset_);
    offset_ += data.size();
  }
  void PutByte(std::uint8_t code, std::uint8_t value) { Put(code, std::span(&value, 1)); }
  void PutAddress(std::uint8_t code, std::uint32_t address) { PutAddresses(code, address, 0); }
  // The second address only follows a configured first one.
  void PutAddresses(std::uint8_t code, std::uint32_t first, std::uint32_t second) {
    std::array<std::uint8_t, 8> data{};
    StoreBigEndian(first, data.data());
    StoreBigEndian(second, data.data() + 4);
    Put(code, std::span(data.data(), second != 0 ? 8 : 4));
  }
  void PutSeconds(std::uint8_t code, std::uint32_t seconds) { PutAddresses(code, seconds, 0); }
  // The text up to its first zero byte, cut to 254 bytes, then one zero byte.
  void PutText(std::uint8_t code, std::string_view text) {
    text = text.substr(0, std::min(text.find('\0'), kMaxTextOptionChars));
    std::array<std::uint8_t, kMaxTextOptionChars + 1> data{};
    std::copy(text.begin(), text.end(), data.begin());
    Put(code, std::span(data.data(), text.size() + 1));
  }
  // The text without a terminating zero.
  void PutBareText(std::uint8_t code, std::string_view text) {
    text = text.substr(0, std::min<std::size_t>(text.find('\0'), 255));
    Put(code, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  }
  void End() { message_.bytes[offset_++] = opt::kEnd; }

 private:
  static void StoreBigEndian(std::uint32_t value, std::uint8_t* out) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
  }

  DhcpMessage& message_;
  std::size_t offset_ = kOptions;
};

// The header every reply shares. xid, chaddr, sname and file stay as the request had them.
void WriteCommonHeader(DhcpMessage& message, ReplyAddressing addressing, bool dhcp) {
  const bool relayed = message.U32(kGiaddr) != 0;
  message.SetU8(kOp, kBootReply);
  message.SetU8(kHtype, 1);
  message.SetU8(kHlen, 6);
  if (dhcp) {
    message.SetU8(kHops, 0);
    message.SetU16(kSecs, 0);
  }
  if (!relayed) message.SetU16(kFlags, 0);
  message.SetU32(kCiaddr, 0);
  message.SetU32(kYiaddr, addressing.yiaddr);
  message.SetU32(kSiaddr, 0);
  if (!addressing.toRelayAgent) message.SetU32(kGiaddr, 0);
  std::copy(kMagicCookie.begin(), kMagicCookie.end(), message.bytes.begin() + kCookie);
}

std::uint8_t MessageTypeOf(DhcpReplyKind kind) {
  switch (kind) {
    case DhcpReplyKind::kOffer:
      return DHCPOFFER;
    case DhcpReplyKind::kNak:
      return DHCPNAK;
    case DhcpReplyKind::kAck:
    case DhcpReplyKind::kInformAnswer:
      return DHCPACK;
  }
  return DHCPNAK;
}

// The optional options in their fixed order, each only when asked for and configured.
void PutRequestedOptions(OptionWriter& out, RequestMask requested, const ReplyValues& v) {
  const auto wants = [requested](RequestMask bit) { return (requested & bit) != 0; };
  if (wants(kRequestRouter) && v.router != 0) out.PutAddress(opt::kRouter, v.router);
  if (wants(kRequestNameServers) && v.nameServers[0] != 0) {
    out.PutAddresses(opt::kNameServers, v.nameServers[0], v.nameServers[1]);
  }
  if (wants(kRequestDomainName) && !v.domainName.empty()) {
    out.PutText(opt::kDomainName, v.domainName);
  }
  if (wants(kRequestNetbiosNameServers) && v.netbiosNameServers[0] != 0) {
    out.PutAddresses(opt::kNetbiosNameServers, v.netbiosNameServers[0], v.netbiosNameServers[1]);
  }
  if (wants(kRequestNetbiosScope) && !v.netbiosScope.empty()) {
    out.PutText(opt::kNetbiosScope, v.netbiosScope);
  }
  if (wants(kRequestNetbiosNodeType)) out.PutByte(opt::kNetbiosNodeType, kNetbiosNodeTypeH);
  if (wants(kRequestSmtpServer) && v.smtp != 0) out.PutAddress(opt::kSmtpServer, v.smtp);
  if (wants(kRequestPop3Server) && v.pop3 != 0) out.PutAddress(opt::kPop3Server, v.pop3);
  if (wants(kRequestNntpServer) && v.nntp != 0) out.PutAddress(opt::kNntpServer, v.nntp);
  if (wants(kRequestNtpServers) && v.ntp != 0) out.PutAddress(opt::kNtpServers, v.ntp);
}

}  // namespace

bool WriteDhcpReply(DhcpMessage& message, DhcpReplyKind kind, ReplyAddressing addressing,
                    RequestMask requested, const ReplyValues& values) {
  const bool nak = kind == DhcpReplyKind::kNak;
  if (!nak && (values.subnetMask == 0 || values.serverIdentifier == 0)) return false;

  WriteCommonHeader(message, addressing, /*dhcp=*/true);
  OptionWriter out(message);
  out.PutByte(opt::kMessageType, MessageTypeOf(kind));
  if (!nak) {
    out.PutAddress(opt::kSubnetMask, values.subnetMask);
    if (kind != DhcpReplyKind::kInformAnswer) {
      out.PutSeconds(opt::kLeaseTime, values.leaseTime);
      out.PutSeconds(opt::kRenewalTime, values.renewalTime);
      out.PutSeconds(opt::kRebindingTime, values.rebindingTime);
    }
    out.PutAddress(opt::kServerIdentifier, values.serverIdentifier);
    PutRequestedOptions(out, requested, values);
  }
  out.End();
  return true;
}

bool WriteBootpReply(DhcpMessage& message, ReplyAddressing addressing, std::string_view hostName,
                     const ReplyValues& values) {
  if (values.subnetMask == 0) return false;

  WriteCommonHeader(message, addressing, /*dhcp=*/false);
  message.SetU32(kSiaddr, values.serverIdentifier);
  OptionWriter out(message);
  out.PutAddress(opt::kSubnetMask, values.subnetMask);
  if (!hostName.empty() && hostName.front() != '\0') out.PutBareText(opt::kHostName, hostName);
  if (values.router != 0) out.PutAddress(opt::kRouter, values.router);
  if (values.nameServers[0] != 0) {
    out.PutAddresses(opt::kNameServers, values.nameServers[0], values.nameServers[1]);
  }
  if (!values.domainName.empty()) out.PutText(opt::kDomainName, values.domainName);
  out.End();
  return true;
}

}  // namespace tamrix
