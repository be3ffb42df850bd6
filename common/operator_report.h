#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/client_id.h"
#include "common/time.h"

namespace tamrix {

// What the running service tells the control panel beyond the lease table: how full the pool
// is, which requests it did not serve and why, and which other DHCP servers it has heard.

// The pool's addresses by what holds them; the five add up to the pool's size.
struct PoolUsage {
  int leased = 0;    // bound, or in grace after expiry
  int offered = 0;   // offered and not yet confirmed
  int reserved = 0;  // reserved to a client
  int disabled = 0;  // disabled by the administrator, or marked as a conflict
  int free = 0;

  int Total() const { return leased + offered + reserved + disabled + free; }
  bool operator==(const PoolUsage&) const = default;
};

// Why a request got no answer, or a refusal. The numbers cross between processes: never reuse
// one for another meaning.
enum class RefusalReason : std::uint32_t {
  kNotOnClientList = 1,   // the client list is on and the client is not on it
  kPoolExhausted = 2,     // no free address to offer
  kClientIdTooLong = 3,   // an identifier over 17 bytes (a DUID client)
  kAddressHeld = 4,       // a REQUEST for an address another client holds, or outside the pool
  kDeclineIgnored = 5,    // a DECLINE for an address the client was not given
  kBadRelayAddress = 6,   // giaddr no relay agent can have
  kServicePaused = 7,     // the request arrived while the service was paused
  kBootpNotReserved = 8,  // a BOOTP client without a reservation: BOOTP serves those only
};
inline constexpr std::uint32_t kRefusalReasonCount = 8;  // the largest value above

// One request that was not served.
struct Refusal {
  Seconds time = 0;
  ClientId client;
  std::string hostName;  // as the client sent it (cp932 bytes), up to 63
  RefusalReason reason = RefusalReason::kNotOnClientList;
};

inline constexpr std::size_t kRecentRefusalLimit = 256;

// Another server heard answering on our segment, once per server identifier.
struct RogueServer {
  std::uint32_t serverIdentifier = 0;  // host byte order
  std::array<std::uint8_t, 6> hardwareAddress{};
  Seconds firstSeen = 0;
  bool acknowledged = false;
};

inline constexpr std::size_t kRogueServerLimit = 32;

// What became of a request to turn a lease into a reservation while the service runs.
enum class ReserveOutcome : std::int32_t {
  kReserved = 0,
  kNoService = -1,            // the service is not running, or did not answer in time
  kOutsidePool = 1,           // the address is not one of the pool's
  kClientHasReservation = 2,  // the client already has a reservation at another address
  kAddressTaken = 3,          // another client holds or has reserved the address
  kRefused = 4,               // anything else the reservation page would refuse
};

struct OperatorReport {
  PoolUsage pool;
  // Counts since the service started, indexed by the reason's number (index 0 unused).
  std::array<std::uint32_t, kRefusalReasonCount + 1> refusalCounts{};
  std::vector<Refusal> recentRefusals;  // oldest first, at most kRecentRefusalLimit
  std::vector<RogueServer> rogueServers;  // in the order first heard, at most kRogueServerLimit
};

}  // namespace tamrix
