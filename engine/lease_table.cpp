#include "engine/lease_table.h"

#include <algorithm>

#include "common/address.h"
#include "engine/conflict_probe.h"
#include "engine/event_sink.h"
#include "platform/clock.h"
#include "platform/host_lookup.h"
#include "platform/text_encoding.h"
#include "storage/server_settings.h"

namespace tamrix {
namespace {

constexpr std::uint32_t kUnlimitedLeaseTime = 0xFFFFFFFF;
constexpr std::uint32_t kUnlimitedRenewalTime = 0x1FFFFFFE;
constexpr std::uint32_t kUnlimitedRebindingTime = 0x1FFFFFFF;

bool IsOverLong(const ClientId& client) { return client.length > kMaxClientIdLength; }

// Identifier and expiry stay behind in a freed entry; nothing reads them while it is free.
void SetFree(LeaseEntry& entry) {
  entry.state = LEASE_FREE;
  SetHostName(entry, {});
}

void SetConflict(LeaseEntry& entry, std::string_view hostName) {
  entry.state = LEASE_RESERVED;
  entry.client = ClientId{};
  SetHostName(entry, hostName);
  entry.expiry = 0;
}

void Assign(LeaseEntry& entry, std::uint32_t state, std::string_view hostName,
            const ClientId& client, Seconds expiry) {
  entry.state = state;
  SetHostName(entry, hostName);
  entry.client = client;
  entry.expiry = expiry;
}

}  // namespace

LeaseTable::LeaseTable(LeaseTableEnvironment environment)
    : env_(std::move(environment)), files_(LeaseFiles::Beside(env_.databasePath)) {}

LeaseTable::~LeaseTable() { StopMaintenance(); }

bool LeaseTable::IsReady() const { return ready_.load(std::memory_order_acquire); }

// Entry i holds address poolStart_ + i from the pool's build on, so the address is its index.
LeaseEntry* LeaseTable::FindEntryLocked(std::uint32_t address) {
  if (address < poolStart_) return nullptr;
  const std::uint32_t index = address - poolStart_;
  if (index >= static_cast<std::uint32_t>(count_)) return nullptr;
  LeaseEntry& entry = entries_[index];
  return entry.address == address ? &entry : nullptr;
}

LeaseEntry* LeaseTable::FindHeldByClientLocked(const ClientId& client) {
  for (int i = 0; i < count_; ++i) {
    if (IsHeld(entries_[i].state) && entries_[i].client == client) return &entries_[i];
  }
  return nullptr;
}

bool LeaseTable::AddressAnswersProbe(std::uint32_t address) {
  const int tries = env_.settings.OptPingTry;
  const int waitMs = env_.settings.OptPingWait;
  for (int attempt = 0; attempt < tries; ++attempt) {
    if (env_.probe.SendEcho(address, waitMs) != 0) return true;
  }
  return false;
}

std::uint32_t LeaseTable::OfferAddress(std::string_view hostName, const ClientId& client) {
  if (IsOverLong(client) || !IsReady()) return 0;
  // Conflicts are reported once the lock is free, so a slow event sink never holds up the table.
  // The conflict probe does: it waits for its echoes under the lock (up to OptPingTry times
  // OptPingWait), and every other exchange waits with it.
  std::array<std::uint32_t, kMaxPoolSize> conflicts;
  int conflictCount = 0;
  std::uint32_t answer = 0;
  bool shortageBegins = false;
  {
    std::lock_guard guard(lock_);
    if (!client.IsEmpty()) {
      if (const LeaseEntry* held = FindHeldByClientLocked(client)) answer = held->address;
    }
    // A client offered what it already holds says nothing about room in the pool.
    const bool kept = answer != 0;
    const bool probe = env_.settings.OptUsePing != 0;
    for (int i = 0; answer == 0 && i < count_; ++i) {
      LeaseEntry& entry = entries_[i];
      if (IsHeld(entry.state)) continue;
      if (probe && AddressAnswersProbe(entry.address)) {
        SetConflict(entry, kConflictHostName);
        JournalLocked(entry);
        conflicts[conflictCount++] = entry.address;
        continue;
      }
      Assign(entry, LEASE_OFFERED, hostName, client,
             AddSeconds(env_.clock.Now(), kOfferHoldSeconds));
      answer = entry.address;
    }
    if (answer == 0) {
      shortageBegins = !poolExhausted_;
      poolExhausted_ = true;
    } else if (!kept) {
      poolExhausted_ = false;
    }
  }
  for (int i = 0; i < conflictCount; ++i) {
    env_.events.Report(EV_ADDRESS_CONFLICT, nullptr, conflicts[i]);
  }
  if (shortageBegins) env_.events.Report(EV_POOL_EXHAUSTED, nullptr, std::nullopt);
  return answer;
}

int LeaseTable::ConfirmRequest(std::uint32_t address, std::string_view hostName,
                               const ClientId& client) {
  if (IsOverLong(client) || !IsReady()) return 0;
  // One hold of the lock for the whole decision: nothing can slip in between the check that the
  // client holds no other address and the binding.
  std::lock_guard guard(lock_);
  const bool identified = !client.IsEmpty();
  if (identified) {
    for (int i = 0; i < count_; ++i) {
      const LeaseEntry& other = entries_[i];
      if (IsHeld(other.state) && other.address != address && other.client == client) {
        return 0;
      }
    }
  }
  LeaseEntry* entry = FindEntryLocked(address);
  if (entry == nullptr) return 0;
  const bool sameClient = identified && entry->client == client;
  if (HasReservedBit(entry->state) && sameClient) return 1;
  if (IsHeld(entry->state) && sameClient) SetFree(*entry);
  if (IsHeld(entry->state)) return 0;
  const Seconds expiry =
      leaseTime_ == 0 ? 0 : AddSeconds(env_.clock.Now(), static_cast<std::int64_t>(leaseTime_));
  Assign(*entry, LEASE_BOUND, hostName, client, expiry);
  JournalLocked(*entry);
  return 1;
}

int LeaseTable::CancelOffer(const ClientId& client) {
  if (IsOverLong(client) || client.IsEmpty() || !IsReady()) return 0;
  std::lock_guard guard(lock_);
  for (int i = 0; i < count_; ++i) {
    LeaseEntry& entry = entries_[i];
    if (HasOfferedBit(entry.state) && entry.client == client) {
      SetFree(entry);
      poolExhausted_ = false;
      return 1;
    }
  }
  return 0;
}

int LeaseTable::ReleaseAddress(std::uint32_t address, const ClientId& client) {
  if (IsOverLong(client) || !IsReady()) return 0;
  std::lock_guard guard(lock_);
  LeaseEntry* entry = FindEntryLocked(address);
  if (entry == nullptr || HasReservedBit(entry->state)) return 0;
  if (IsHeld(entry->state) && !client.IsEmpty() && entry->client != client) return 0;
  SetFree(*entry);
  poolExhausted_ = false;
  JournalLocked(*entry);
  return 1;
}

int LeaseTable::MarkConflict(std::uint32_t address, std::string_view hostName) {
  if (!IsReady()) return 0;
  std::lock_guard guard(lock_);
  LeaseEntry* entry = FindEntryLocked(address);
  if (entry == nullptr) return 0;
  SetConflict(*entry, hostName);
  JournalLocked(*entry);
  return 1;
}

// Anyone can send a DECLINE naming any address, and a mark outlives restarts: taken from
// everyone, a handful of forged ones would set the whole pool aside, bound addresses included.
// Only the client the address was handed to can have found it in use.
int LeaseTable::DeclineAddress(std::uint32_t address, const ClientId& client) {
  if (!IsReady()) return 0;
  bool marked = false;
  {
    std::lock_guard guard(lock_);
    LeaseEntry* entry = FindEntryLocked(address);
    if (entry != nullptr && IsHeld(entry->state) && !client.IsEmpty() && !IsOverLong(client) &&
        entry->client == client) {
      SetConflict(*entry, kConflictHostName);
      JournalLocked(*entry);
      marked = true;
    }
  }
  // Said once the lock is free, as the events are.
  if (!marked) {
    const std::string who =
        client.IsEmpty() ? "a client without identifier" : FormatClientId(client);
    env_.problems.Report("ignored DHCPDECLINE of " + FormatAddress(address) + " from " + who +
                         ", which does not hold it");
  }
  return marked ? 1 : 0;
}

std::uint32_t LeaseTable::FindReservedAddress(const ClientId& client) {
  if (!client.IsValid() || !IsReady()) return 0;
  std::lock_guard guard(lock_);
  for (int i = 0; i < count_; ++i) {
    if (HasReservedBit(entries_[i].state) && entries_[i].client == client) {
      return entries_[i].address;
    }
  }
  return 0;
}

int LeaseTable::FindReservedName(const ClientId& client, std::array<char, kHostNameField>& name) {
  name.fill('\0');
  if (!client.IsValid() || !IsReady()) return 0;
  std::lock_guard guard(lock_);
  for (int i = 0; i < count_; ++i) {
    const LeaseEntry& entry = entries_[i];
    if (HasReservedBit(entry.state) && entry.client == client) {
      name = entry.hostName;
      return static_cast<int>(HostName(entry).size());
    }
  }
  return 0;
}

int LeaseTable::IsOutsidePool(std::uint32_t address) const {
  if (!IsReady()) return 1;
  return (address < poolStart_ || address > poolEnd_) ? 1 : 0;
}

int LeaseTable::CopyLeaseTable(std::span<LeaseEntry, kMaxPoolSize> out) {
  if (!IsReady()) return 0;
  std::lock_guard guard(lock_);
  std::copy_n(entries_.begin(), count_, out.begin());
  return count_;
}

std::uint32_t LeaseTable::ServerAddress() {
  if (!IsReady()) return kBroadcastAddress;
  std::lock_guard guard(lock_);
  const std::uint32_t subnet = poolStart_ & mask_;
  for (const std::uint32_t a : hostAddresses_) {
    if ((a & mask_) != subnet) continue;
    const LeaseEntry* entry = FindEntryLocked(a);
    // An address inside the pool is ours only when it is kept out of the hands of clients.
    if (entry == nullptr || HasReservedBit(entry->state)) return a;
  }
  return kBroadcastAddress;
}

bool LeaseTable::IsHostAddress(std::uint32_t address) const {
  std::lock_guard guard(lock_);
  return std::find(hostAddresses_.begin(), hostAddresses_.end(), address) != hostAddresses_.end();
}

std::vector<std::uint32_t> LeaseTable::HostAddresses() const {
  std::lock_guard guard(lock_);
  return hostAddresses_;
}

PoolUsage LeaseTable::CountPoolUsage() const {
  PoolUsage usage;
  if (!IsReady()) return usage;
  std::lock_guard guard(lock_);
  for (int i = 0; i < count_; ++i) {
    const LeaseEntry& entry = entries_[i];
    // The bits in the order the panel tests them; a reservation without a client serves nobody
    // (an address disabled, or found in use by another host).
    if (IsGraceState(entry.state)) {
      ++usage.leased;
    } else if (HasOfferedBit(entry.state)) {
      ++usage.offered;
    } else if (HasBoundBit(entry.state)) {
      ++usage.leased;
    } else if (HasReservedBit(entry.state)) {
      ++(entry.client.IsEmpty() ? usage.disabled : usage.reserved);
    } else {
      ++usage.free;
    }
  }
  return usage;
}

// The reservation page's checks, in its order. The page, editing the file of a stopped service,
// frees the client's other entries; a running client may be using one of them right now, so
// here they refuse instead.
ReserveOutcome LeaseTable::ReserveLease(std::uint32_t address, const ClientId& client,
                                        std::string_view hostName) {
  if (!IsReady()) return ReserveOutcome::kNoService;
  if (hostName.empty() || client.IsEmpty() || address == 0 || address == kAddressNone) {
    return ReserveOutcome::kRefused;
  }
  std::lock_guard guard(lock_);
  LeaseEntry* entry = FindEntryLocked(address);
  if (entry == nullptr) return ReserveOutcome::kOutsidePool;
  if (!client.IsValid()) return ReserveOutcome::kRefused;
  if (entry->state != LEASE_FREE && entry->client != client) return ReserveOutcome::kAddressTaken;
  for (int i = 0; i < count_; ++i) {
    const LeaseEntry& other = entries_[i];
    if (&other == entry || !IsHeld(other.state) || other.client != client) continue;
    return HasReservedBit(other.state) ? ReserveOutcome::kClientHasReservation
                                       : ReserveOutcome::kRefused;
  }
  Assign(*entry, LEASE_RESERVED, Cp932Prefix(hostName, kMaxHostNameLength), client, 0);
  JournalLocked(*entry);
  return ReserveOutcome::kReserved;
}

void LeaseTable::MaintenancePass() {
  if (!IsReady()) return;
  struct Expired {
    ClientId client;
    std::uint32_t address;
  };
  std::array<Expired, kMaxPoolSize> expired;
  int expiredCount = 0;
  {
    std::lock_guard guard(lock_);
    const Seconds now = env_.clock.Now();
    for (int i = 0; i < count_; ++i) {
      LeaseEntry& entry = entries_[i];
      if (entry.expiry == 0) continue;
      if (HasBoundBit(entry.state) && now > entry.expiry) {
        entry.state = LEASE_GRACE;
        entry.expiry = AddSeconds(entry.expiry, extendTime_);
      }
      if (HasOfferedBit(entry.state) && now > entry.expiry) {
        expired[expiredCount++] = {entry.client, entry.address};
        entry.state = LEASE_FREE;
        entry.expiry = 0;
        poolExhausted_ = false;
      }
    }
  }
  for (int i = 0; i < expiredCount; ++i) {
    env_.events.Report(EV_LEASE_EXPIRED, &expired[i].client, expired[i].address);
  }
  SyncJournal();
  std::lock_guard guard(lock_);
  // Replaying a long journal would slow the next start; a failed save is tried again here too.
  const std::size_t longJournal = 4 * static_cast<std::size_t>(count_) + 64;
  if (saveDue_ || journalLines_ > longJournal) saveDue_ = !SaveDatabaseLocked() && saveDue_;
}

std::uint32_t LeaseTable::LeaseTimeValue() const {
  return leaseTime_ == 0 ? kUnlimitedLeaseTime : leaseTime_;
}

std::uint32_t LeaseTable::RenewalTime() const {
  if (leaseTime_ == 0) return kUnlimitedRenewalTime;
  return std::max<std::uint32_t>(leaseTime_ / 2, 1);
}

std::uint32_t LeaseTable::RebindingTime() const {
  if (leaseTime_ == 0) return kUnlimitedRebindingTime;
  return std::max<std::uint32_t>(leaseTime_ - leaseTime_ / 8, 1);
}

}  // namespace tamrix
