#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

#include "common/lease_entry.h"
#include "engine/status_publication.h"
#include "platform/shared_block.h"
#include "status/status_block.h"

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

// The service side of the block: one thread answers snapshot and release commands. Any operator
// may cut the objects short or overwrite them: the service then replaces them with fresh ones and
// goes on, and it never waits on them without a bound.
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
  // Hands out the turn when it is due, waits one poll for a command and answers it. False when
  // the objects were found cut short or rewritten.
  bool Serve(SharedBlock& block, bool& turnDue);
  bool Answer(SharedBlock& block);
  std::int32_t Release(bool slotInside, const LeaseEntry& request);
  static void RecoverLostTurn(SharedBlock& block);
  bool CreateBlock();
  void DropBlock();

  SharedBlockSystem& blocks_;
  const int turnRecoveryPollMs_;
  LeaseTableAccess* table_ = nullptr;
  // Replaced only by the publication thread, and signalled by Stop from another thread: both
  // under blockMutex_, which is never held while waiting on the block.
  std::unique_ptr<SharedBlock> block_;
  std::mutex blockMutex_;
  std::condition_variable stopRequested_;
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
