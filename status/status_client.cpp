#include "status/status_client.h"


#include <algorithm>
#include <utility>

#include "common/deadline.h"
#include "platform/machine_paths.h"
#include "platform/posix/posix_shared_block.h"

namespace tamrix {

namespace {

// Releases the exchange lock however the exchange ends, even after another object was cut short
// (a lock left held would keep this thread's robust list pointing into it).
class LockHolder {
 public:
  explicit LockHolder(SharedBlock& block) : block_(block) {}
  ~LockHolder() {
    block_.Access([&] { block_.UnlockExchange(); });
  }
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
  const Deadline deadline(options_.waitBoundMs);
  // Every touch of the objects is an access that fails, instead of faulting, when another
  // process cuts one short; the exchange then fails like one the service did not answer.
  SharedBlock& b = *block;

  // A lock whose holder died is ours all the same: the service gives a lost turn out again.
  ExchangeLock locked = ExchangeLock::kBusy;
  if (!b.Access([&] { locked = b.LockExchange(std::max(1, deadline.LeftMs())); }) ||
      locked == ExchangeLock::kBusy) {
    return false;
  }
  LockHolder holder(b);
  Step(ExchangeStep::kLocked);

  bool taken = false;
  if (!b.Access([&] { taken = b.Wait(BlockEvent::kTurn, deadline.LeftMs()); }) || !taken) {
    return false;
  }
  Step(ExchangeStep::kTurnTaken);

  StatusBlockView view(b.Bytes());
  if (!b.Access([&] {
        write(view);
        b.Signal(BlockEvent::kRequest);
      })) {
    return false;
  }
  Step(ExchangeStep::kRequestSent);

  // Giving up here leaves the turn with the service, which signals it when it is done. A signal
  // that comes while the command word still holds our command is a stray one (a turn given out
  // again by an idle service), not the answer; stray ones never stretch the wait past its bound.
  bool answered = false;
  if (!b.Access([&] {
        while (b.Wait(BlockEvent::kTurn, deadline.LeftMs())) {
          if (view.Command() == 0) {
            answered = true;
            return;
          }
          if (deadline.LeftMs() == 0) return;
        }
      }) ||
      !answered) {
    return false;
  }
  if (!b.Access([&] { read(view); })) return false;
  Step(ExchangeStep::kAnswerRead);
  b.Access([&] { b.Signal(BlockEvent::kTurn); });
  return true;
}

int StatusClient::FetchLeaseSnapshot(std::span<LeaseEntry, StatusBlock::kSlotCount> out) {
  int count = 0;
  const bool answered =
      Exchange([](StatusBlockView& view) { view.SetCommand(CMD_SNAPSHOT); },
               [&](StatusBlockView& view) {
                 // Any operator may write the block: a count outside the slots is clamped.
                 count = std::clamp(view.Result(), 0, static_cast<int>(StatusBlock::kSlotCount));
                 for (int i = 0; i < count; ++i)
                   view.ReadEntry(static_cast<std::size_t>(i), out[i]);
               });
  return answered ? count : 0;
}

int StatusClient::RequestRelease(std::uint32_t address, const ClientId& client,
                                 std::string_view hostName) {
  LeaseEntry request;
  request.address = address;
  request.client = client;
  SetHostName(request, hostName);
  int result = -1;
  const bool answered = Exchange(
      [&](StatusBlockView& view) {
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
