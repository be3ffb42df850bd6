// Any bytes as TAMRIX.db: the reader must stay inside them and never produce an entry the table
// cannot hold, and the file written from what it read must read back to the same entries.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "storage/lease_database.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool SameLease(const tamrix::StoredLease& a, const tamrix::StoredLease& b) {
  return a.address == b.address && a.client == b.client && a.state == b.state &&
         a.expiry == b.expiry && a.hostName == b.hostName;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tamrix;
  const auto file = ParseLeaseDatabase(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!file) return 0;

  std::vector<LeaseEntry> entries;
  std::vector<StoredLease> expected;  // what the writer keeps: held entries inside the pool
  for (const StoredLease& lease : file->leases) {
    Check(lease.client.length <= kMaxClientIdLength);
    Check(lease.hostName.size() <= kMaxHostNameLength);
    LeaseEntry entry;
    entry.address = lease.address;
    RestoreEntry(lease, entry);
    Check(HostName(entry) == lease.hostName);
    entries.push_back(entry);
    if (IsHeld(lease.state) && lease.address >= file->poolStart && lease.address <= file->poolEnd) {
      expected.push_back(lease);
    }
  }

  const auto again = ParseLeaseDatabase(FormatLeaseDatabase(file->poolStart, file->poolEnd, entries));
  Check(again.has_value());
  Check(again->poolStart == file->poolStart && again->poolEnd == file->poolEnd);
  Check(again->skippedLines == 0);
  Check(again->leases.size() == expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) Check(SameLease(again->leases[i], expected[i]));
  return 0;
}
