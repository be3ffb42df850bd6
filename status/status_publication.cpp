#include "status/status_publication.h"

#include <algorithm>
#include <chrono>

namespace tamrix {

StatusPublicationServer::StatusPublicationServer(SharedBlockSystem& blocks, int turnRecoveryPollMs)
    : blocks_(blocks), turnRecoveryPollMs_(std::max(1, turnRecoveryPollMs)) {}

StatusPublicationServer::~StatusPublicationServer() {
  Stop();
}

int StatusPublicationServer::Start(LeaseTableAccess& table) {
  if (thread_.joinable()) return 1;
  // A fresh block is all zeros: no command, no result, slot 0.
  if (!CreateBlock()) return 0;
  table_ = &table;
  stopping_ = false;
  try {
    thread_ = std::thread([this] { PublicationThread(); });
  } catch (...) {
    DropBlock();
    table_ = nullptr;
    return 0;
  }
  return 1;
}

int StatusPublicationServer::Stop() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(blockMutex_);
      stopping_ = true;
      // Wakes the thread at once. Should the event be cut short, the signal is lost and the
      // thread stops at the end of its current poll instead.
      if (block_) block_->Access([&] { block_->Signal(BlockEvent::kRequest); });
    }
    stopRequested_.notify_all();
    thread_.join();
  }
  DropBlock();
  table_ = nullptr;
  return 1;
}

bool StatusPublicationServer::CreateBlock() {
  std::unique_ptr<SharedBlock> fresh = blocks_.Create(StatusBlockNames(), StatusBlock::kSize);
  if (!fresh) return false;
  std::lock_guard lock(blockMutex_);
  block_ = std::move(fresh);
  return true;
}

void StatusPublicationServer::DropBlock() {
  std::unique_ptr<SharedBlock> dropped;
  {
    std::lock_guard lock(blockMutex_);
    dropped = std::move(block_);
  }
  // Destroyed outside the mutex; this removes the names where they are still ours.
}

void StatusPublicationServer::PublicationThread() {
  bool turnDue = true;  // every fresh block starts by handing out the turn
  while (!stopping_) {
    if (!block_) {
      // Objects cut short were dropped; clients that reopen find the fresh ones. Should they not
      // be made (shared memory full, say), the next attempt comes after a poll, or at Stop.
      if (!CreateBlock()) {
        std::unique_lock lock(blockMutex_);
        stopRequested_.wait_for(lock, std::chrono::milliseconds(turnRecoveryPollMs_),
                                [&] { return stopping_.load(); });
        continue;
      }
      turnDue = true;
    }
    if (!Serve(*block_, turnDue)) DropBlock();
  }
}

bool StatusPublicationServer::Serve(SharedBlock& block, bool& turnDue) {
  if (turnDue) {
    if (!block.Access([&] { block.Signal(BlockEvent::kTurn); })) return false;
    turnDue = false;
  }
  bool requested = false;
  if (!block.Access([&] { requested = block.Wait(BlockEvent::kRequest, turnRecoveryPollMs_); })) {
    return false;
  }
  if (!requested) {
    // Idle: the moment to look for objects cut short or rewritten without the service touching
    // them (the lock, which only clients use), and for a lost turn.
    return block.Intact() && block.Access([&] { RecoverLostTurn(block); });
  }
  if (stopping_) return true;
  return Answer(block);
}

bool StatusPublicationServer::Answer(SharedBlock& block) {
  std::uint32_t command = 0;
  LeaseEntry request;
  bool slotInside = false;
  if (!block.Access([&] {
        const StatusBlockView view(block.Bytes());
        command = view.Command();
        // The slot word is checked before it is used: ReadEntry refuses one outside the slots.
        if (command == CMD_RELEASE) slotInside = view.ReadEntry(view.RequestSlot(), request);
      })) {
    return false;
  }

  // The table is asked between two accesses, never inside one: a fault there would skip the
  // release of the table's lock.
  std::int32_t result = 0;
  int count = 0;
  if (command == CMD_SNAPSHOT) {
    count = std::clamp(table_->CopyLeaseTable(copy_), 0, static_cast<int>(copy_.size()));
    result = count;
  } else if (command == CMD_RELEASE) {
    result = Release(slotInside, request);
  }

  return block.Access([&] {
    StatusBlockView view(block.Bytes());
    for (int i = 0; i < count; ++i) view.WriteEntry(static_cast<std::size_t>(i), copy_[i]);
    view.SetResult(result);
    // Last, and published: a client that reads 0 here reads the complete answer.
    view.PublishCommandDone();
    // Only now is the answer complete; the same signal hands the turn to the next client.
    block.Signal(BlockEvent::kTurn);
  });
}

std::int32_t StatusPublicationServer::Release(bool slotInside, const LeaseEntry& request) {
  if (!slotInside || request.client.length > kMaxClientIdLength) return -1;
  return table_->ReleaseAddress(request.address, request.client) == 1 ? 0 : -1;
}

// A client that died between taking the turn and handing it back leaves nobody to signal it.
// While the service is idle, the turn is either available or held by a client for the moment
// between two of its steps; when it stays away, it is given out again. A turn given out while a
// live client holds it does no harm: that client tells its answer from a stray signal by the
// command word, which only the service clears, and the two signals merge into one.
void StatusPublicationServer::RecoverLostTurn(SharedBlock& block) {
  if (!block.IsSignalled(BlockEvent::kRequest) && !block.IsSignalled(BlockEvent::kTurn)) {
    block.Signal(BlockEvent::kTurn);
  }
}

}  // namespace tamrix
