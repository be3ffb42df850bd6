#include "control_panel/lease_listing.h"

#include <algorithm>

#include "control_panel/lease_text.h"
#include "status/status_client.h"

static_assert(tamrix::kSnapshotCapacity == tamrix::StatusBlock::kSlotCount);

namespace tamrix {

bool IsListedLease(const LeaseEntry& entry) {
  return IsHeld(entry.state) && entry.client.length != 0;
}

std::vector<std::string> LeaseListing::Refresh() {
  snapshot_ = LeaseSnapshot{};
  rows_.clear();
  // A source that claims more than it can have written (or a negative count) must not make the
  // list read entries that were never filled.
  const int count = source_.FetchLeaseSnapshot(snapshot_.entries);
  snapshot_.count = std::clamp(count, 0, static_cast<int>(kSnapshotCapacity));
  std::vector<std::string> lines;
  for (int i = 0; i < snapshot_.count; ++i) {
    const LeaseEntry& entry = snapshot_.entries[static_cast<std::size_t>(i)];
    if (!IsListedLease(entry)) continue;
    rows_.push_back(i);
    lines.push_back(LeaseLineText(entry));
  }
  return lines;
}

const LeaseEntry* LeaseListing::EntryAtRow(int row) const {
  if (row < 0 || row >= rowCount()) return nullptr;
  return &snapshot_.entries[static_cast<std::size_t>(rows_[static_cast<std::size_t>(row)])];
}

void LeaseListing::Release(const LeaseEntry& entry) {
  source_.RequestRelease(entry.address, HostName(entry), entry.client);
}

int StatusBlockLeaseSource::FetchLeaseSnapshot(std::span<LeaseEntry, kSnapshotCapacity> out) {
  return tamrix::FetchLeaseSnapshot(out);
}

int StatusBlockLeaseSource::RequestRelease(std::uint32_t address, std::string_view hostName,
                                           const ClientId& client) {
  return tamrix::RequestRelease(address, client, hostName);
}

}  // namespace tamrix
