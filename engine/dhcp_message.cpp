#include "engine/dhcp_message.h"

#include <algorithm>
#include <cstring>

namespace tamrix {
namespace {

using namespace dhcp_offset;

// htype, then up to 16 chaddr bytes. The length byte is hlen + 1 even when hlen says more than
// chaddr holds, so such an identifier stays over-long and every lease operation refuses it.
// hlen 255 would wrap to an empty (and so servable) identifier; it saturates instead.
ClientId ClientIdFromHeader(const DhcpMessage& message) {
  const std::uint8_t hlen = message.U8(kHlen);
  const std::size_t taken = std::min<std::size_t>(hlen, kChaddrSize);
  ClientId id = MakeClientId(message.U8(kHtype), message.bytes.data() + kChaddr, taken);
  id.length = static_cast<std::uint8_t>(std::min<int>(hlen + 1, 255));
  return id;
}

// Option 61: up to 17 bytes replace the identifier; a longer one keeps its length byte and its
// first 17 bytes, which leaves it invalid.
ClientId ClientIdFromOption(std::span<const std::uint8_t> data) {
  ClientId id;
  id.length = static_cast<std::uint8_t>(data.size());
  const std::size_t stored = std::min<std::size_t>(data.size(), kMaxClientIdLength);
  std::copy_n(data.begin(), stored, id.bytes.begin());
  return id;
}

void TakeOption(std::uint8_t code, std::span<const std::uint8_t> data, ParsedRequest& request) {
  switch (code) {
    case dhcp_option::kHostName: {
      const auto zero = std::find(data.begin(), data.end(), std::uint8_t{0});
      request.hostName.assign(data.begin(), zero);
      break;
    }
    case dhcp_option::kRequestedAddress:
      // A short option 50 holds no address; it is passed over.
      if (data.size() >= 4) {
        request.requestedAddress = BigEndian32(data);
        request.hasRequestedOption = true;
      }
      break;
    case dhcp_option::kMessageType:
      if (!data.empty()) request.messageType = data[0];
      break;
    case dhcp_option::kParameterRequestList:
      for (const std::uint8_t listed : data) request.requestMask |= RequestMaskBit(listed);
      break;
    case dhcp_option::kClientIdentifier:
      request.client = ClientIdFromOption(data);
      break;
    default:
      break;
  }
}

}  // namespace

std::uint32_t BigEndian32(std::span<const std::uint8_t> b) {
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
         std::uint32_t{b[3]};
}

bool HasMagicCookie(std::span<const std::uint8_t> message) {
  return message.size() >= kOptions &&
         std::equal(kMagicCookie.begin(), kMagicCookie.end(), message.begin() + kCookie);
}

RequestMask RequestMaskBit(std::uint8_t optionCode) {
  switch (optionCode) {
    case dhcp_option::kSubnetMask:
      return kRequestSubnetMask;
    case dhcp_option::kRouter:
      return kRequestRouter;
    case dhcp_option::kNameServers:
      return kRequestNameServers;
    case dhcp_option::kDomainName:
      return kRequestDomainName;
    case dhcp_option::kNetbiosNameServers:
      return kRequestNetbiosNameServers;
    case dhcp_option::kNetbiosNodeType:
      return kRequestNetbiosNodeType;
    case dhcp_option::kNetbiosScope:
      return kRequestNetbiosScope;
    case dhcp_option::kSmtpServer:
      return kRequestSmtpServer;
    case dhcp_option::kPop3Server:
      return kRequestPop3Server;
    case dhcp_option::kNntpServer:
      return kRequestNntpServer;
    case dhcp_option::kNtpServers:
      return kRequestNtpServers;
    default:
      return 0;
  }
}

DhcpMessage DhcpMessage::FromDatagram(std::span<const std::uint8_t> datagram) {
  DhcpMessage message;
  message.received = std::min(datagram.size(), kDhcpMessageSize);
  if (message.received > 0) std::memcpy(message.bytes.data(), datagram.data(), message.received);
  return message;
}

std::uint8_t DhcpMessage::U8(std::size_t offset) const {
  return offset < bytes.size() ? bytes[offset] : 0;
}

std::uint16_t DhcpMessage::U16(std::size_t offset) const {
  return static_cast<std::uint16_t>((U8(offset) << 8) | U8(offset + 1));
}

std::uint32_t DhcpMessage::U32(std::size_t offset) const {
  return (std::uint32_t{U16(offset)} << 16) | U16(offset + 2);
}

void DhcpMessage::SetU8(std::size_t offset, std::uint8_t value) {
  if (offset < bytes.size()) bytes[offset] = value;
}

void DhcpMessage::SetU16(std::size_t offset, std::uint16_t value) {
  SetU8(offset, static_cast<std::uint8_t>(value >> 8));
  SetU8(offset + 1, static_cast<std::uint8_t>(value));
}

void DhcpMessage::SetU32(std::size_t offset, std::uint32_t value) {
  SetU16(offset, static_cast<std::uint16_t>(value >> 16));
  SetU16(offset + 2, static_cast<std::uint16_t>(value));
}

bool ByteCursor::ReadU8(std::uint8_t& value) {
  if (remaining() < 1) return false;
  value = data_[offset_++];
  return true;
}

bool ByteCursor::ReadBytes(std::size_t count, std::span<const std::uint8_t>& out) {
  if (remaining() < count) return false;
  out = data_.subspan(offset_, count);
  offset_ += count;
  return true;
}

ParsedRequest ParseRequest(const DhcpMessage& message) {
  ParsedRequest request;
  request.client = ClientIdFromHeader(message);
  request.clientAddress = message.U32(kCiaddr);
  request.relayAddress = message.U32(kGiaddr);
  if (HasMagicCookie(message.bytes)) {
    ForEachOption(std::span(message.bytes.data(), message.received), kOptionsReadLimit,
                  [&](std::uint8_t code, std::span<const std::uint8_t> data) {
                    TakeOption(code, data, request);
                  });
  }
  if (!request.hasRequestedOption && request.clientAddress != 0) {
    request.requestedAddress = request.clientAddress;
  }
  return request;
}

}  // namespace tamrix
