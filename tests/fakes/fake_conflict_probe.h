#pragma once

#include <set>
#include <vector>

#include "engine/conflict_probe.h"

namespace tamrix::testing {

// Addresses in `answering` reply to every echo; every echo sent is recorded.
class FakeConflictProbe final : public ConflictProbe {
 public:
  struct Echo {
    std::uint32_t address;
    int timeoutMs;
  };
  int SendEcho(std::uint32_t address, int timeoutMs) override {
    echoes.push_back({address, timeoutMs});
    return answering.count(address) ? 1 : 0;
  }

  std::set<std::uint32_t> answering;
  std::vector<Echo> echoes;
};

}  // namespace tamrix::testing
