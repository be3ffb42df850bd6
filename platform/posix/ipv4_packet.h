#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tamrix {

// The flags-and-offset word's more-fragments flag and fragment offset.
inline constexpr std::uint16_t kIpv4FragmentBits = 0x3FFF;

// A received IPv4 packet (what raw and packet sockets deliver), its header checked.
struct Ipv4Packet {
  std::uint8_t protocol = 0;
  std::uint32_t source = 0;  // host byte order
  bool fragment = false;     // more fragments follow, or this is not the first
  bool cut = false;          // the total length says more than arrived
  // After the header, up to the total length (Ethernet pads short frames), or to the last byte
  // that arrived when the packet is cut.
  std::span<const std::uint8_t> payload;
};

// Nothing for bytes that are no IPv4 packet: another version, a header under 20 bytes or longer
// than the bytes, or a total length shorter than the header.
std::optional<Ipv4Packet> ReadIpv4Packet(std::span<const std::uint8_t> bytes);

}  // namespace tamrix
