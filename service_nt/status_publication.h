#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>

#include "common/lease_entry.h"
#include "engine/status_publication.h"
#include "platform/shared_block.h"
#include "service_nt/status_block.h"

namespace tamrix {

// The two lease table operations the publication calls, each taking the table's lock once.
class LeaseTableAccess {
 public:
  virtual ~LeaseTableAccess() = default;
  virtual int CopyLeaseTable(std::span<LeaseEntry, StatusBlock::kSlotCount> out) = 0;  // count
  virtual int ReleaseAddress(std::uint32_t address, const ClientId& client) = 0;  // 1 freed, 0 not
};

// How often the idle service looks for a turn lost with a client that died holding it.
inline constexpr int kTurnRecoveryPollMs = 500;

// The service side of the block: one thread answers snapshot and release commands.
class StatusPublicationServer {
 public:
  explicit StatusPublicationServer(SharedBlockSystem& blocks,
                                   int turnRecoveryPollMs = kTurnRecoveryPollMs);
  ~StatusPublicationServer();
  StatusPublicationServer(const StatusPublicationServer&) = delete;
  StatusPublicationServer& operator=(const StatusPublicationServer&) = delete;

  int Start(LeaseTableAccess& table);  // 1 when the block exists and the thread runs, else 0
  int Stop();                          // 1; the table and the block are no longer touched

 private:
  void PublicationThread();
  void Execute(StatusBlockView& view);
  std::int32_t Snapshot(StatusBlockView& view);
  std::int32_t Release(StatusBlockView& view);
  void RecoverLostTurn();

  SharedBlockSystem& blocks_;
  const int turnRecoveryPollMs_;
  LeaseTableAccess* table_ = nullptr;
  std::unique_ptr<SharedBlock> block_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::array<LeaseEntry, StatusBlock::kSlotCount> copy_{};  // the snapshot allocates nothing
};

// The engine's view: publishes a real LeaseTable.
class SharedStatusPublication final : public StatusPublication {
 public:
  explicit SharedStatusPublication(SharedBlockSystem& blocks,
                                   int turnRecoveryPollMs = kTurnRecoveryPollMs);
  ~SharedStatusPublication() override;
  int StartStatusPublication(LeaseTable& table) override;
  int StopStatusPublication() override;

 private:
  std::unique_ptr<LeaseTableAccess> access_;
  StatusPublicationServer server_;
};

}  // namespace tamrix
