#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/lease_entry.h"
#include "control_panel/operator_service.h"

namespace tamrix::testing {

// The service's operator side in memory. A reservation it grants changes the lease table it is
// pointed at, as the service's does; an acknowledgement it takes sticks in its report.
class FakeOperatorService final : public OperatorService {
 public:
  int Fetch(OperatorReport& out) override {
    ++fetches;
    if (!reachable) return -1;
    out = report;
    return 0;
  }
  ReserveOutcome Reserve(std::uint32_t address, const ClientId& client,
                         std::string_view hostName) override {
    reservations.push_back({address, client, std::string(hostName)});
    if (outcome != ReserveOutcome::kReserved || leases == nullptr) return outcome;
    for (LeaseEntry& entry : *leases) {
      if (entry.address == address && entry.client == client) {
        entry.state = LEASE_RESERVED;
        entry.expiry = 0;
      }
    }
    return outcome;
  }
  int Acknowledge(std::uint32_t serverIdentifier) override {
    acknowledgements.push_back(serverIdentifier);
    if (acknowledgeResult != 0) return acknowledgeResult;
    for (RogueServer& server : report.rogueServers) {
      if (server.serverIdentifier == serverIdentifier) server.acknowledged = true;
    }
    return 0;
  }

  struct Reservation {
    std::uint32_t address;
    ClientId client;
    std::string hostName;
  };
  OperatorReport report;
  bool reachable = true;
  ReserveOutcome outcome = ReserveOutcome::kReserved;
  int acknowledgeResult = 0;
  std::vector<LeaseEntry>* leases = nullptr;
  std::vector<Reservation> reservations;
  std::vector<std::uint32_t> acknowledgements;
  int fetches = 0;
};

}  // namespace tamrix::testing
