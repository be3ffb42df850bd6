#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tamrix {

inline constexpr std::uint32_t kAddressNone = 0xFFFFFFFF;  // also 255.255.255.255
inline constexpr std::uint32_t kBroadcastAddress = 0xFFFFFFFF;

// The UDP ports of DHCP and BOOTP: servers (and relay agents) listen on one, clients on the other.
inline constexpr std::uint16_t kServerPort = 67;
inline constexpr std::uint16_t kClientPort = 68;

// Parses a dotted address the way the classic inet_addr does: one to four parts (a, a.b, a.b.c,
// a.b.c.d), each decimal, octal (leading 0) or hexadecimal (0x), the last part filling the
// remaining bytes; a blank ends the address (what follows is ignored). Gives the address in host
// byte order, 0 for an empty text and kAddressNone on failure (indistinguishable from
// 255.255.255.255).
std::uint32_t ParseAddress(std::string_view text);

// "%d.%d.%d.%d", most significant byte first.
std::string FormatAddress(std::uint32_t address);

}  // namespace tamrix
