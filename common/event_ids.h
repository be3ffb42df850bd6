#pragma once

#include <cstdint>

namespace tamrix {

// The sixteen events; the value is the full message identifier, its low 16 bits the event
// number an operator sees, its top two bits the severity (01 information, 10 warning).
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
};

inline constexpr int EventNumber(std::uint32_t id) { return static_cast<int>(id & 0xFFFF); }

}  // namespace tamrix
