#include "service_nt/status_publication.h"

#include <algorithm>

namespace tamrix {

StatusPublicationServer::StatusPublicationServer(SharedBlockSystem& blocks, int turnRecoveryPollMs)
    : blocks_(blocks), turnRecoveryPollMs_(std::max(1, turnRecoveryPollMs)) {}

StatusPublicationServer::~StatusPublicationServer() {
  Stop();
}

int StatusPublicationServer::Start(LeaseTableAccess& table) {
  if (thread_.joinable()) return 1;
  block_ = blocks_.Create(StatusBlockNames(), StatusBlock::kSize);
  if (!block_) return 0;
  StatusBlockView view(block_->Bytes());
  view.SetCommand(0);
  view.SetResult(0);
  view.SetRequestSlot(0);
  table_ = &table;
  stopping_ = false;
  try {
    thread_ = std::thread([this] { PublicationThread(); });
  } catch (...) {
    block_.reset();
    table_ = nullptr;
    return 0;
  }
  return 1;
}

int StatusPublicationServer::Stop() {
  if (thread_.joinable()) {
    stopping_ = true;
    block_->Signal(BlockEvent::kRequest);
    thread_.join();
  }
  block_.reset();
  table_ = nullptr;
  return 1;
}

void StatusPublicationServer::PublicationThread() {
  StatusBlockView view(block_->Bytes());
  block_->Signal(BlockEvent::kTurn);
  while (!stopping_) {
    if (!block_->Wait(BlockEvent::kRequest, turnRecoveryPollMs_)) {
      RecoverLostTurn();
      continue;
    }
    if (stopping_) break;
    Execute(view);
    // Only now is the answer complete; the same signal hands the turn to the next client.
    block_->Signal(BlockEvent::kTurn);
  }
}

void StatusPublicationServer::Execute(StatusBlockView& view) {
  switch (view.Command()) {
    case CMD_SNAPSHOT:
      view.SetResult(Snapshot(view));
      break;
    case CMD_RELEASE:
      view.SetResult(Release(view));
      break;
    default:
      view.SetResult(0);
      break;
  }
  // Last, and published: a client that reads 0 here reads the complete answer.
  view.PublishCommandDone();
}

std::int32_t StatusPublicationServer::Snapshot(StatusBlockView& view) {
  const int copied = table_->CopyLeaseTable(copy_);
  const int count = std::clamp(copied, 0, static_cast<int>(copy_.size()));
  for (int i = 0; i < count; ++i) view.WriteEntry(static_cast<std::size_t>(i), copy_[i]);
  return count;
}

std::int32_t StatusPublicationServer::Release(StatusBlockView& view) {
  // The block is writable by every local account: its slot word and identifier are checked
  // before they are used.
  LeaseEntry request;
  if (!view.ReadEntry(view.RequestSlot(), request)) return -1;
  if (request.client.length > kMaxClientIdLength) return -1;
  return table_->ReleaseAddress(request.address, request.client) == 1 ? 0 : -1;
}

// A client that died between taking the turn and handing it back leaves nobody to signal it.
// While the service is idle, the turn is either available or held by a client for the moment
// between two of its steps; when it stays away, it is given out again. A turn given out while a
// live client holds it does no harm: that client tells its answer from a stray signal by the
// command word, which only the service clears, and the two signals merge into one.
void StatusPublicationServer::RecoverLostTurn() {
  if (!block_->IsSignalled(BlockEvent::kRequest) && !block_->IsSignalled(BlockEvent::kTurn)) {
    block_->Signal(BlockEvent::kTurn);
  }
}

}  // namespace tamrix
