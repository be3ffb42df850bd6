#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/client_id.h"
#include "common/time.h"

namespace tamrix {

// State words, stored as these exact numbers in TAMRIX.db and the shared status block.
inline constexpr std::uint32_t LEASE_FREE = 0x00000000;
inline constexpr std::uint32_t LEASE_RESERVED = 0x20000000;
inline constexpr std::uint32_t LEASE_OFFERED = 0x40000000;
inline constexpr std::uint32_t LEASE_BOUND = 0x80000000;
inline constexpr std::uint32_t LEASE_GRACE = 0x41000000;

inline constexpr std::uint32_t kHeldBits = 0xE0000000;
inline constexpr std::uint32_t kGraceBit = 0x01000000;

// The operations test bits, never whole values: grace carries the offered bit too.
inline constexpr bool IsHeld(std::uint32_t state) { return (state & kHeldBits) != 0; }
inline constexpr bool HasReservedBit(std::uint32_t state) { return (state & LEASE_RESERVED) != 0; }
inline constexpr bool HasOfferedBit(std::uint32_t state) { return (state & LEASE_OFFERED) != 0; }
inline constexpr bool HasBoundBit(std::uint32_t state) { return (state & LEASE_BOUND) != 0; }
inline constexpr bool IsGraceState(std::uint32_t state) {
  return HasOfferedBit(state) && (state & kGraceBit) != 0;
}

inline constexpr std::size_t kHostNameField = 64;
inline constexpr std::size_t kMaxHostNameLength = kHostNameField - 1;

// The 96-byte lease record; the same layout in the lease table, the shared block and (field by
// field) in TAMRIX.db. Host names are kept as the bytes the client or the file gave (cp932).
struct LeaseEntry {
  std::uint32_t state = LEASE_FREE;
  std::uint32_t address = 0;  // host byte order
  ClientId client;
  std::array<char, kHostNameField> hostName{};  // zero-terminated
  std::array<std::uint8_t, 2> unused{};
  Seconds expiry = 0;  // 0 = none
};

static_assert(sizeof(LeaseEntry) == 96);
static_assert(offsetof(LeaseEntry, state) == 0);
static_assert(offsetof(LeaseEntry, address) == 4);
static_assert(offsetof(LeaseEntry, client) == 8);
static_assert(offsetof(LeaseEntry, hostName) == 26);
static_assert(offsetof(LeaseEntry, expiry) == 92);

std::string_view HostName(const LeaseEntry& entry);
// Copies at most 63 bytes and terminates; the rest of the field is cleared.
void SetHostName(LeaseEntry& entry, std::string_view name);

// Special host names, as the cp932 bytes stored in the table, the block and the database.
inline constexpr std::string_view kConflictHostName{"\x3C\x8B\xA3\x8D\x87\x8C\x9F\x8F\x6F\x3E"};  // <競合検出>
inline constexpr std::string_view kDisabledHostName{"\x3C\x96\xB3\x8C\xF8\x3E"};  // <無効>

}  // namespace tamrix
