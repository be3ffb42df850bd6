#pragma once

#include <cstdint>
#include <span>

namespace tamrix {

// The events by name; the value is the full message identifier, its low 16 bits the event
// number an operator sees, its top two bits the severity (01 information, 10 warning). The
// catalogue below holds everything else about each of them.
enum EventId : std::uint32_t {
  EV_SERVER_START = 0x40000064,
  EV_SERVER_STOP = 0x40000065,
  EV_DISCOVER = 0x400003E9,
  EV_OFFER = 0x400003EA,
  EV_REQUEST = 0x400003EB,
  EV_DECLINE = 0x400003EC,
  EV_ACK = 0x400003ED,
  EV_NAK = 0x400003EE,
  EV_RELEASE = 0x400003EF,
  EV_INFORM = 0x400003F0,
  EV_BOOTP_REQUEST = 0x4000044C,
  EV_BOOTP_REPLY = 0x4000044D,
  EV_LEASE_EXPIRED = 0x40002711,
  EV_CLIENT_REJECTED = 0x40002712,
  EV_ADDRESS_CONFLICT = 0x80002713,
  EV_NO_ADDRESS = 0x80002714,
  EV_POOL_EXHAUSTED = 0x80002715,
  EV_ROGUE_SERVER = 0x80002716,
};

inline constexpr int EventNumber(std::uint32_t id) {
  return static_cast<int>(id & 0xFFFF);
}

// The kinds of entry an event log holds; the values are the ones the identifiers' severity
// bits map to.
enum class EventType : std::uint16_t {
  kSuccess = 0,
  kError = 1,
  kWarning = 2,
  kInformation = 4,
};

// The values an event carries, in the order of its insertion strings: the client first, then
// the address.
enum class EventValues : std::uint8_t { kNone, kClient, kAddress, kClientAndAddress };

constexpr bool CarriesClient(EventValues values) {
  return values == EventValues::kClient || values == EventValues::kClientAndAddress;
}
constexpr bool CarriesAddress(EventValues values) {
  return values == EventValues::kAddress || values == EventValues::kClientAndAddress;
}

// One event as the reporter writes it and the message file shows it. The text is UTF-8, with %1
// and %2 where the insertion strings go.
struct EventEntry {
  EventId id;
  EventType type;
  EventValues values;
  const char* text;
};

std::span<const EventEntry> EventCatalogue();
// Null for an identifier that is not one of ours, including one of our numbers with another
// severity.
const EventEntry* FindEvent(std::uint32_t identifier);

}  // namespace tamrix
