#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "control_panel/lease_listing.h"

namespace tamrix::testing {

// A service's lease table in memory. A release frees the entry whose address and client match,
// as the service does; a source that is not reachable answers like a stopped service.
class FakeLeaseSource final : public LeaseSource {
 public:
  int FetchLeaseSnapshot(std::span<LeaseEntry, kSnapshotCapacity> out) override {
    ++fetches;
    if (!reachable) return 0;
    const std::size_t n = std::min(table.size(), out.size());
    std::copy_n(table.begin(), n, out.begin());
    return claimedCount.value_or(static_cast<int>(n));
  }
  int RequestRelease(std::uint32_t address, std::string_view hostName,
                     const ClientId& client) override {
    releases.push_back({address, std::string(hostName), client});
    if (!reachable) return -1;
    for (LeaseEntry& entry : table) {
      if (entry.address == address && entry.client == client && IsHeld(entry.state)) {
        entry = LeaseEntry{};
        entry.address = address;
        return 0;
      }
    }
    return -1;
  }

  struct Release {
    std::uint32_t address;
    std::string hostName;
    ClientId client;
  };
  std::vector<LeaseEntry> table;
  std::vector<Release> releases;
  bool reachable = true;
  std::optional<int> claimedCount;  // the count answered, whatever was written
  int fetches = 0;
};

inline LeaseEntry MakeLease(std::uint32_t state, std::uint32_t address, std::uint8_t clientByte,
                            const char* host, Seconds expiry) {
  LeaseEntry entry;
  entry.state = state;
  entry.address = address;
  if (clientByte != 0) {
    const std::uint8_t hardware[6] = {0x00, 0xA0, 0xC9, 0x12, 0x34, clientByte};
    entry.client = MakeClientId(1, hardware, sizeof hardware);
  }
  SetHostName(entry, host);
  entry.expiry = expiry;
  return entry;
}

}  // namespace tamrix::testing
