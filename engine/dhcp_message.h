#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/client_id.h"

namespace tamrix {

inline constexpr std::size_t kDhcpMessageSize = 548;

// The op field of any server's answer.
inline constexpr std::uint8_t kBootReply = 2;

// Fixed header offsets of the 548-byte message.
namespace dhcp_offset {
inline constexpr std::size_t kOp = 0;
inline constexpr std::size_t kHtype = 1;
inline constexpr std::size_t kHlen = 2;
inline constexpr std::size_t kHops = 3;
inline constexpr std::size_t kXid = 4;
inline constexpr std::size_t kSecs = 8;
inline constexpr std::size_t kFlags = 10;
inline constexpr std::size_t kCiaddr = 12;
inline constexpr std::size_t kYiaddr = 16;
inline constexpr std::size_t kSiaddr = 20;
inline constexpr std::size_t kGiaddr = 24;
inline constexpr std::size_t kChaddr = 28;
inline constexpr std::size_t kSname = 44;
inline constexpr std::size_t kFile = 108;
inline constexpr std::size_t kCookie = 236;
inline constexpr std::size_t kOptions = 240;
// Options that begin here or later are never read, although the buffer runs on to 548.
inline constexpr std::size_t kOptionsReadLimit = 436;
}  // namespace dhcp_offset

inline constexpr std::size_t kChaddrSize = 16;
inline constexpr std::array<std::uint8_t, 4> kMagicCookie{99, 130, 83, 99};

// Option codes the engine reads or writes.
namespace dhcp_option {
inline constexpr std::uint8_t kPad = 0;
inline constexpr std::uint8_t kSubnetMask = 1;
inline constexpr std::uint8_t kRouter = 3;
inline constexpr std::uint8_t kNameServers = 6;
inline constexpr std::uint8_t kHostName = 12;
inline constexpr std::uint8_t kDomainName = 15;
inline constexpr std::uint8_t kNtpServers = 42;
inline constexpr std::uint8_t kNetbiosNameServers = 44;
inline constexpr std::uint8_t kNetbiosNodeType = 46;
inline constexpr std::uint8_t kNetbiosScope = 47;
inline constexpr std::uint8_t kRequestedAddress = 50;
inline constexpr std::uint8_t kLeaseTime = 51;
inline constexpr std::uint8_t kMessageType = 53;
inline constexpr std::uint8_t kServerIdentifier = 54;
inline constexpr std::uint8_t kParameterRequestList = 55;
inline constexpr std::uint8_t kRenewalTime = 58;
inline constexpr std::uint8_t kRebindingTime = 59;
inline constexpr std::uint8_t kClientIdentifier = 61;
inline constexpr std::uint8_t kSmtpServer = 69;
inline constexpr std::uint8_t kPop3Server = 70;
inline constexpr std::uint8_t kNntpServer = 71;
inline constexpr std::uint8_t kEnd = 255;
}  // namespace dhcp_option

// DHCP message types (option 53); 0 stands for a plain BOOTP request.
inline constexpr std::uint8_t kBootpRequest = 0;
inline constexpr std::uint8_t DHCPDISCOVER = 1;
inline constexpr std::uint8_t DHCPOFFER = 2;
inline constexpr std::uint8_t DHCPREQUEST = 3;
inline constexpr std::uint8_t DHCPDECLINE = 4;
inline constexpr std::uint8_t DHCPACK = 5;
inline constexpr std::uint8_t DHCPNAK = 6;
inline constexpr std::uint8_t DHCPRELEASE = 7;
inline constexpr std::uint8_t DHCPINFORM = 8;

// `RequestMask` bits: which of the optional reply options the client listed in option 55.
using RequestMask = std::uint16_t;
inline constexpr RequestMask kRequestSubnetMask = 0x001;
inline constexpr RequestMask kRequestRouter = 0x002;
inline constexpr RequestMask kRequestNameServers = 0x004;
inline constexpr RequestMask kRequestDomainName = 0x008;
inline constexpr RequestMask kRequestNetbiosNameServers = 0x010;
inline constexpr RequestMask kRequestNetbiosNodeType = 0x020;
inline constexpr RequestMask kRequestNetbiosScope = 0x040;
inline constexpr RequestMask kRequestSmtpServer = 0x080;
inline constexpr RequestMask kRequestPop3Server = 0x100;
inline constexpr RequestMask kRequestNntpServer = 0x200;
inline constexpr RequestMask kRequestNtpServers = 0x400;

// The bit an option code sets in the mask, 0 for codes the replies never carry on request.
RequestMask RequestMaskBit(std::uint8_t optionCode);

// One message buffer: first the received request, then the reply written over it. Bytes past
// what was received stay zero, so a short request reads as zeros beyond its end.
struct DhcpMessage {
  std::array<std::uint8_t, kDhcpMessageSize> bytes{};
  std::size_t received = 0;  // how many bytes the datagram filled (at most 548)

  // A datagram longer than the buffer is taken cut to 548 bytes.
  static DhcpMessage FromDatagram(std::span<const std::uint8_t> datagram);

  // Field access by offset; reads past the buffer give 0 and writes there are dropped.
  std::uint8_t U8(std::size_t offset) const;
  std::uint16_t U16(std::size_t offset) const;  // network order on the wire
  std::uint32_t U32(std::size_t offset) const;  // network order on the wire
  void SetU8(std::size_t offset, std::uint8_t value);
  void SetU16(std::size_t offset, std::uint16_t value);
  void SetU32(std::size_t offset, std::uint32_t value);
};

// A read-only cursor over received bytes: every read checks what is left first.
class ByteCursor {
 public:
  ByteCursor(std::span<const std::uint8_t> data, std::size_t offset)
      : data_(data), offset_(offset <= data.size() ? offset : data.size()) {}

  std::size_t offset() const { return offset_; }
  std::size_t remaining() const { return data_.size() - offset_; }
  bool ReadU8(std::uint8_t& value);
  // The next count bytes, or nothing (and no move) when fewer are left.
  bool ReadBytes(std::size_t count, std::span<const std::uint8_t>& out);

 private:
  std::span<const std::uint8_t> data_;
  std::size_t offset_;
};

// The four bytes (at least four must be there) as a number sent in network order.
std::uint32_t BigEndian32(std::span<const std::uint8_t> bytes);

// True when the magic cookie stands at its place; a message too short to hold it has none.
bool HasMagicCookie(std::span<const std::uint8_t> message);

// Hands each option after the cookie to take(code, data), in order, skipping pad, until the end
// option, an option that begins at readLimit or later, or one whose length runs past the bytes.
template <typename Take>
void ForEachOption(std::span<const std::uint8_t> message, std::size_t readLimit, Take&& take) {
  ByteCursor cursor(message, dhcp_offset::kOptions);
  std::uint8_t code = 0;
  while (cursor.offset() < readLimit && cursor.ReadU8(code)) {
    if (code == dhcp_option::kEnd) return;
    if (code == dhcp_option::kPad) continue;
    std::uint8_t length = 0;
    std::span<const std::uint8_t> data;
    if (!cursor.ReadU8(length) || !cursor.ReadBytes(length, data)) return;
    take(code, data);
  }
}

// What the engine keeps of one request.
struct ParsedRequest {
  ClientId client;
  std::uint32_t requestedAddress = 0;  // host order; ciaddr when option 50 is absent
  bool hasRequestedOption = false;     // option 50 was present (and long enough)
  std::uint8_t messageType = kBootpRequest;
  std::string hostName;  // option 12, at most 255 bytes, up to its first zero byte
  RequestMask requestMask = 0;
  std::uint32_t clientAddress = 0;  // ciaddr, host order
  std::uint32_t relayAddress = 0;   // giaddr, host order
};

// Reads a request out of the message. Never looks past the received bytes: an option whose
// length runs beyond them ends the option walk, keeping what was read before it.
ParsedRequest ParseRequest(const DhcpMessage& message);

}  // namespace tamrix
