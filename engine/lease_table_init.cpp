#include <chrono>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "common/address.h"
#include "engine/lease_table.h"
#include "platform/file_system.h"
#include "platform/host_lookup.h"
#include "storage/lease_database.h"
#include "storage/server_settings.h"

namespace tamrix {
namespace {

constexpr std::int32_t kUnlimitedSetting = -1;
constexpr std::uint32_t kMinimumLeaseTime = 60;

// The settings after conversion, before any of them reaches the table.
struct CheckedSettings {
  std::uint32_t start = 0, end = 0, mask = 0, gateway = 0;
  std::uint32_t dns[2] = {0, 0}, wins[2] = {0, 0};
  std::uint32_t leaseTime = 0;
  std::uint32_t smtp = 0, pop3 = 0, nntp = 0, ntp = 0;
};

// A second server without a first, or the same server twice, is a typing error the operator
// must see at start rather than clients receiving it.
bool IsValidPair(std::uint32_t first, std::uint32_t second) {
  if (second != 0 && first == 0) return false;
  return first == 0 || first != second;
}

std::uint32_t Resolve(HostLookup& hosts, const std::string& name) {
  return name.empty() ? 0 : hosts.FirstAddressOf(name);
}

std::optional<CheckedSettings> CheckSettings(const LeaseTableSettings& s, HostLookup& hosts) {
  CheckedSettings c;
  c.start = ParseAddress(s.StartIPAddr);
  c.end = ParseAddress(s.EndIPAddr);
  c.mask = ParseAddress(s.SubnetMask);
  if (c.start == 0 || c.end == 0 || c.mask == 0) return std::nullopt;
  c.gateway = ParseAddress(s.Gateway);
  c.dns[0] = ParseAddress(s.DNSAddr1);
  c.dns[1] = ParseAddress(s.DNSAddr2);
  c.wins[0] = ParseAddress(s.WINSAddr1);
  c.wins[1] = ParseAddress(s.WINSAddr2);
  if (!IsValidPair(c.dns[0], c.dns[1]) || !IsValidPair(c.wins[0], c.wins[1])) return std::nullopt;
  if (s.LeaseTime != kUnlimitedSetting) {
    const auto seconds = static_cast<std::uint32_t>(s.LeaseTime);
    if (seconds < kMinimumLeaseTime) return std::nullopt;
    c.leaseTime = seconds;
  }
  c.smtp = Resolve(hosts, s.SMTP);
  c.pop3 = Resolve(hosts, s.POP3);
  c.nntp = Resolve(hosts, s.NNTP);
  c.ntp = Resolve(hosts, s.NTP);
  return c;
}

}  // namespace

LeaseTableSettings LeaseTableSettingsFrom(const ServerSettings& s) {
  LeaseTableSettings t;
  t.StartIPAddr = s.StartIPAddr;
  t.EndIPAddr = s.EndIPAddr;
  t.SubnetMask = s.SubnetMask;
  t.Gateway = s.Gateway;
  t.DNSAddr1 = s.DNSAddr1;
  t.DNSAddr2 = s.DNSAddr2;
  t.DomainName = s.DomainName;
  t.WINSAddr1 = s.WINSAddr1;
  t.WINSAddr2 = s.WINSAddr2;
  t.ScopeID = s.ScopeID;
  t.LeaseTime = s.LeaseTime;
  t.ExtendTime = s.ExtendTime;
  t.SMTP = s.SMTP;
  t.POP3 = s.POP3;
  t.NNTP = s.NNTP;
  t.NTP = s.NTP;
  return t;
}

int LeaseTable::LeaseTableInit(const LeaseTableSettings& settings) {
  const std::optional<CheckedSettings> c = CheckSettings(settings, env_.hosts);
  if (!c) return -1;
  // The resolver may be slow; ask it before the lock is taken.
  std::vector<std::uint32_t> hostAddresses = env_.hosts.ThisHostAddresses();
  const bool rebuild =
      !IsReady() || c->start != poolStart_ || c->end != poolEnd_ || c->mask != mask_;
  ready_.store(false, std::memory_order_release);
  {
    // The maintenance thread may still be between passes; it must never see a half-built pool.
    std::lock_guard guard(lock_);
    if (rebuild) {
      const std::int64_t count =
          static_cast<std::int64_t>(c->end) - static_cast<std::int64_t>(c->start) + 1;
      if (count < 1 || count > kMaxPoolSize) return -1;
      RebuildPoolLocked(c->start, c->end, c->mask, static_cast<int>(count));
    }
    gateway_ = c->gateway;
    leaseTime_ = c->leaseTime;
    extendTime_ = settings.ExtendTime;
    dns_[0] = c->dns[0];
    dns_[1] = c->dns[1];
    domainName_ = settings.DomainName;
    wins_[0] = c->wins[0];
    wins_[1] = c->wins[1];
    scopeId_ = settings.ScopeID;
    smtp_ = c->smtp;
    pop3_ = c->pop3;
    nntp_ = c->nntp;
    ntp_ = c->ntp;
    hostAddresses_ = std::move(hostAddresses);
  }
  LoadDatabase();
  ready_.store(true, std::memory_order_release);
  // Without its maintenance thread the table would never end an offer: better not to start.
  if (env_.runMaintenanceThread && !StartMaintenance()) {
    ready_.store(false, std::memory_order_release);
    return -1;
  }
  return 0;
}

void LeaseTable::RebuildPoolLocked(std::uint32_t start, std::uint32_t end, std::uint32_t mask,
                                   int count) {
  for (int i = 0; i < count; ++i) {
    LeaseEntry& entry = entries_[i];
    entry = LeaseEntry{};
    entry.address = start + static_cast<std::uint32_t>(i);
  }
  poolStart_ = start;
  poolEnd_ = end;
  mask_ = mask;
  count_ = count;
}

void LeaseTable::LoadDatabase() {
  const std::optional<std::string> bytes = env_.files.ReadFile(env_.databasePath);
  if (!bytes) return;
  const std::optional<LeaseDatabaseFile> file = ParseLeaseDatabase(*bytes);
  // A file written for another pool says nothing about this one.
  if (!file || file->poolStart != poolStart_ || file->poolEnd != poolEnd_) return;
  std::lock_guard guard(lock_);
  for (LeaseEntry& entry : entries_) {
    entry.state = LEASE_FREE;
    SetHostName(entry, {});
  }
  for (const StoredLease& stored : file->leases) {
    if (LeaseEntry* entry = FindEntryLocked(stored.address)) RestoreEntry(stored, *entry);
  }
}

void LeaseTable::SaveDatabase() {
  std::string contents;
  {
    std::lock_guard guard(lock_);
    contents = FormatLeaseDatabase(poolStart_, poolEnd_,
                                   std::span<const LeaseEntry>(entries_.data(), count_));
  }
  // ReplaceFile keeps the previous file whole when the new one cannot be written; there is no
  // one to tell at stop, so the loss is limited to what changed during this run.
  env_.files.ReplaceFile(env_.databasePath, contents);
}

void LeaseTable::LeaseTableShutdown() {
  if (IsReady()) SaveDatabase();
  StopMaintenance();
  ready_.store(false, std::memory_order_release);
}

bool LeaseTable::StartMaintenance() {
  if (maintenance_.joinable()) return true;
  {
    std::lock_guard guard(maintenanceMutex_);
    maintenanceStop_ = false;
  }
  try {
    maintenance_ = std::thread([this] { MaintenanceLoop(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void LeaseTable::StopMaintenance() {
  if (!maintenance_.joinable()) return;
  {
    std::lock_guard guard(maintenanceMutex_);
    maintenanceStop_ = true;
  }
  maintenanceWake_.notify_all();
  maintenance_.join();
  maintenance_ = std::thread();
}

void LeaseTable::MaintenanceLoop() {
  std::unique_lock wait(maintenanceMutex_);
  while (!maintenanceStop_) {
    wait.unlock();
    MaintenancePass();
    wait.lock();
    maintenanceWake_.wait_for(wait, std::chrono::milliseconds(kMaintenanceIntervalMs),
                              [this] { return maintenanceStop_; });
  }
}

}  // namespace tamrix
