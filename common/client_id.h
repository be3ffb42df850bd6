#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tamrix {

inline constexpr int kMaxClientIdLength = 17;

// A client identifier: a length byte and up to 17 bytes, the first of which is the hardware
// type. A length above 17 can be stored (it comes off the wire that way) but is never valid.
struct ClientId {
  std::uint8_t length = 0;
  std::array<std::uint8_t, kMaxClientIdLength> bytes{};

  bool IsEmpty() const { return length == 0; }
  bool IsValid() const { return length >= 1 && length <= kMaxClientIdLength; }
};
static_assert(sizeof(ClientId) == 18);

// Equal when the length bytes and every byte the length counts are equal. An over-long
// identifier compares its 17 stored bytes, so it never reads beyond the field. Inline: the lease
// table compares against every entry of the pool for nearly every request.
inline bool operator==(const ClientId& a, const ClientId& b) {
  if (a.length != b.length) return false;
  const int counted = a.length < kMaxClientIdLength ? a.length : kMaxClientIdLength;
  for (int i = 0; i < counted; ++i) {
    if (a.bytes[i] != b.bytes[i]) return false;
  }
  return true;
}

// Builds an identifier from a type byte and hardware bytes (at most 16 are taken).
ClientId MakeClientId(std::uint8_t type, const std::uint8_t* hardware, std::size_t count);

// "01:00A0C9123456": the type byte, a colon, the remaining bytes without separators.
// An empty identifier gives an empty text.
std::string FormatClientId(const ClientId& id);

}  // namespace tamrix
