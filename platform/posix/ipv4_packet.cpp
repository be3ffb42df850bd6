#include "platform/posix/ipv4_packet.h"

#include <algorithm>

namespace tamrix {
namespace {

constexpr std::size_t kMinimumHeaderSize = 20;

std::uint16_t Get16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}

}  // namespace

std::optional<Ipv4Packet> ReadIpv4Packet(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMinimumHeaderSize || (bytes[0] >> 4) != 4) return std::nullopt;
  const std::size_t headerSize = static_cast<std::size_t>(bytes[0] & 0x0F) * 4;
  const std::size_t totalSize = Get16(bytes, 2);
  if (headerSize < kMinimumHeaderSize || headerSize > bytes.size() || totalSize < headerSize) {
    return std::nullopt;
  }
  Ipv4Packet packet;
  packet.protocol = bytes[9];
  packet.source = std::uint32_t{Get16(bytes, 12)} << 16 | Get16(bytes, 14);
  packet.fragment = (Get16(bytes, 6) & kIpv4FragmentBits) != 0;
  packet.cut = totalSize > bytes.size();
  const std::size_t end = std::min(totalSize, bytes.size());
  packet.payload = bytes.subspan(headerSize, end - headerSize);
  return packet;
}

}  // namespace tamrix
