#include "service_nt/status_client.h"

#include <time.h>

#include <algorithm>
#include <utility>

#include "platform/machine_paths.h"
#include "platform/posix/posix_shared_block.h"

namespace tamrix {

namespace {

long long MonotonicMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// Milliseconds left until the deadline, at least 0.
int Left(long long deadline) {
  return static_cast<int>(std::max(0LL, deadline - MonotonicMilliseconds()));
}

// Releases the exchange lock however the exchange ends.
class LockHolder {
 public:
  explicit LockHolder(SharedBlock& block) : block_(block) {}
  ~LockHolder() { block_.UnlockExchange(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

 private:
  SharedBlock& block_;
};

}  // namespace

StatusClient::StatusClient(SharedBlockSystem& blocks, StatusClientOptions options)
    : blocks_(blocks), options_(std::move(options)) {}

bool StatusClient::Exchange(const std::function<void(StatusBlockView&)>& write,
                            const std::function<void(StatusBlockView&)>& read) {
  // Not there means the service is not running: give up at once, without waiting.
  std::unique_ptr<SharedBlock> block = blocks_.Open(StatusBlockNames(), StatusBlock::kSize);
  if (!block) return false;
  const long long deadline = MonotonicMilliseconds() + std::max(0, options_.waitBoundMs);

  // A lock whose holder died is ours all the same: the service gives a lost turn out again.
  if (block->LockExchange(std::max(1, Left(deadline))) == ExchangeLock::kBusy) return false;
  LockHolder holder(*block);
  Step(ExchangeStep::kLocked);

  if (!block->Wait(BlockEvent::kTurn, Left(deadline))) return false;
  Step(ExchangeStep::kTurnTaken);

  StatusBlockView view(block->Bytes());
  write(view);
  block->Signal(BlockEvent::kRequest);
  Step(ExchangeStep::kRequestSent);

  // Giving up here leaves the turn with the service, which signals it when it is done. A signal
  // that comes while the command word still holds our command is a stray one (a turn given out
  // again by an idle service), not the answer.
  do {
    if (!block->Wait(BlockEvent::kTurn, Left(deadline))) return false;
  } while (view.Command() != 0);
  read(view);
  Step(ExchangeStep::kAnswerRead);
  block->Signal(BlockEvent::kTurn);
  return true;
}

int StatusClient::FetchLeaseSnapshot(std::span<LeaseEntry, StatusBlock::kSlotCount> out) {
  int count = 0;
  const bool answered =
      Exchange([](StatusBlockView& view) { view.SetCommand(CMD_SNAPSHOT); },
               [&](StatusBlockView& view) {
                 // The block is shared with every local account: a count outside the slots is
                 // clamped.
                 count = std::clamp(view.Result(), 0, static_cast<int>(StatusBlock::kSlotCount));
                 for (int i = 0; i < count; ++i)
                   view.ReadEntry(static_cast<std::size_t>(i), out[i]);
               });
  return answered ? count : 0;
}

int StatusClient::RequestRelease(std::uint32_t address, const ClientId& client,
                                 std::string_view hostName) {
  int result = -1;
  const bool answered = Exchange(
      [&](StatusBlockView& view) {
        LeaseEntry request;
        request.address = address;
        request.client = client;
        SetHostName(request, hostName);
        view.WriteEntry(0, request);
        view.SetRequestSlot(0);
        view.SetCommand(CMD_RELEASE);
      },
      [&](StatusBlockView& view) { result = view.Result() == 0 ? 0 : -1; });
  return answered ? result : -1;
}

int FetchLeaseSnapshot(std::span<LeaseEntry, StatusBlock::kSlotCount> out) {
  PosixSharedBlockSystem blocks(MachinePaths::FromEnvironment());
  return StatusClient(blocks).FetchLeaseSnapshot(out);
}

int RequestRelease(std::uint32_t address, const ClientId& client, std::string_view hostName) {
  PosixSharedBlockSystem blocks(MachinePaths::FromEnvironment());
  return StatusClient(blocks).RequestRelease(address, client, hostName);
}

}  // namespace tamrix
