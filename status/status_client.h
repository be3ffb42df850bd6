#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "common/lease_entry.h"
#include "platform/shared_block.h"
#include "status/status_block.h"

namespace tamrix {

// The points of one exchange, in order; a test can stop a client at any of them.
enum class ExchangeStep { kLocked, kTurnTaken, kRequestSent, kAnswerRead };

struct StatusClientOptions {
  // No exchange waits longer than this in all: a service that stops in the middle of an
  // exchange must not hang the control panel.
  int waitBoundMs = 5000;
  std::function<void(ExchangeStep)> onStep;  // tests only
};

// The control panel's side of the block: each call opens the block, runs one exchange under the
// exchange lock and closes it again.
class StatusClient {
 public:
  explicit StatusClient(SharedBlockSystem& blocks, StatusClientOptions options = {});

  // The service's lease table, in table order: the number of entries (0 when the service is not
  // running or does not answer in time).
  int FetchLeaseSnapshot(std::span<LeaseEntry, StatusBlock::kSlotCount> out);
  // 0 when the service freed the address held by that client, -1 otherwise.
  int RequestRelease(std::uint32_t address, const ClientId& client, std::string_view hostName = {});

 private:
  // Runs one exchange; `write` fills in the command, `read` takes the answer. False when the
  // service could not be reached, did not answer within the bound, or an object was cut short
  // under the exchange. Both run inside SharedBlock::Access: plain memory work only.
  bool Exchange(const std::function<void(StatusBlockView&)>& write,
                const std::function<void(StatusBlockView&)>& read);
  void Step(ExchangeStep step) const {
    if (options_.onStep) options_.onStep(step);
  }

  SharedBlockSystem& blocks_;
  StatusClientOptions options_;
};

// The same two exchanges against this machine's block (TAMRIX_SYSROOT decides which machine).
int FetchLeaseSnapshot(std::span<LeaseEntry, StatusBlock::kSlotCount> out);
int RequestRelease(std::uint32_t address, const ClientId& client, std::string_view hostName = {});

}  // namespace tamrix
