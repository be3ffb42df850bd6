#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/lease_entry.h"

namespace tamrix {

inline constexpr std::size_t kSnapshotCapacity = 256;

// The panel's copy of the service's lease table, in the order the service sent it.
struct LeaseSnapshot {
  int count = 0;
  std::array<LeaseEntry, kSnapshotCapacity> entries{};
};

// Where the lease table comes from and where releases go: the service's status block, or a fake.
class LeaseSource {
 public:
  virtual ~LeaseSource() = default;
  // The number of entries written (0 when the service cannot be reached).
  virtual int FetchLeaseSnapshot(std::span<LeaseEntry, kSnapshotCapacity> out) = 0;
  // The service's answer, or -1 when it cannot be reached.
  virtual int RequestRelease(std::uint32_t address, std::string_view hostName,
                             const ClientId& client) = 0;
};

// Held (leased, offered or reserved) and with a client: a reservation without a client is a
// disabled address and never listed.
bool IsListedLease(const LeaseEntry& entry);

// The main list's contents and its row-to-entry mapping: row r is the r-th listed entry.
class LeaseListing {
 public:
  explicit LeaseListing(LeaseSource& source) : source_(source) {}

  // Fetches a new snapshot and gives the list's lines, one per listed entry.
  std::vector<std::string> Refresh();
  // The entry behind a row of the last refresh; null for a row that does not exist.
  const LeaseEntry* EntryAtRow(int row) const;
  // Asks the service to free the entry's address; the answer is not the operator's concern.
  void Release(const LeaseEntry& entry);

  const LeaseSnapshot& snapshot() const { return snapshot_; }
  int rowCount() const { return static_cast<int>(rows_.size()); }

 private:
  LeaseSource& source_;
  LeaseSnapshot snapshot_;
  std::vector<int> rows_;  // snapshot index of each row
};

// The real source: the service's block on this machine.
class StatusBlockLeaseSource final : public LeaseSource {
 public:
  int FetchLeaseSnapshot(std::span<LeaseEntry, kSnapshotCapacity> out) override;
  int RequestRelease(std::uint32_t address, std::string_view hostName,
                     const ClientId& client) override;
};

}  // namespace tamrix
