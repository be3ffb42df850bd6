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
#include "storage/lease_store.h"
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

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// The settings converted, or nothing with *why naming the setting that was refused.
std::optional<CheckedSettings> CheckSettings(const LeaseTableSettings& s, HostLookup& hosts,
                                             std::string* why) {
  CheckedSettings c;
  c.start = ParseAddress(s.StartIPAddr);
  c.end = ParseAddress(s.EndIPAddr);
  c.mask = ParseAddress(s.SubnetMask);
  const struct {
    const char* name;
    const std::string& text;
    std::uint32_t value;
  } required[] = {{"StartIPAddr", s.StartIPAddr, c.start},
                  {"EndIPAddr", s.EndIPAddr, c.end},
                  {"SubnetMask", s.SubnetMask, c.mask}};
  for (const auto& setting : required) {
    if (setting.value != 0) continue;
    *why = setting.text.empty()
               ? std::string(setting.name) + " is not set"
               : std::string(setting.name) + " is not an address: " + Quoted(setting.text);
    return std::nullopt;
  }
  c.gateway = ParseAddress(s.Gateway);
  c.dns[0] = ParseAddress(s.DNSAddr1);
  c.dns[1] = ParseAddress(s.DNSAddr2);
  c.wins[0] = ParseAddress(s.WINSAddr1);
  c.wins[1] = ParseAddress(s.WINSAddr2);
  if (!IsValidPair(c.dns[0], c.dns[1])) {
    *why = "DNSAddr2 " + Quoted(s.DNSAddr2) + " needs DNSAddr1 and must differ from it";
    return std::nullopt;
  }
  if (!IsValidPair(c.wins[0], c.wins[1])) {
    *why = "WINSAddr2 " + Quoted(s.WINSAddr2) + " needs WINSAddr1 and must differ from it";
    return std::nullopt;
  }
  if (s.LeaseTime != kUnlimitedSetting) {
    const auto seconds = static_cast<std::uint32_t>(s.LeaseTime);
    if (seconds < kMinimumLeaseTime) {
      *why = "LeaseTime " + std::to_string(s.LeaseTime) + " is below " +
             std::to_string(kMinimumLeaseTime) + " seconds";
      return std::nullopt;
    }
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
  initProblem_.clear();
  initRefusedSettings_ = true;
  const std::optional<CheckedSettings> c = CheckSettings(settings, env_.hosts, &initProblem_);
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
      if (count < 1 || count > kMaxPoolSize) {
        initProblem_ = "the pool StartIPAddr " + Quoted(settings.StartIPAddr) + " to EndIPAddr " +
                       Quoted(settings.EndIPAddr) + " must hold 1 to " +
                       std::to_string(kMaxPoolSize) + " addresses";
        return -1;
      }
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
  initRefusedSettings_ = false;
  if (!LoadDatabase()) return -1;
  ready_.store(true, std::memory_order_release);
  // Without its maintenance thread the table would never end an offer: better not to start.
  if (env_.runMaintenanceThread && !StartMaintenance()) {
    ready_.store(false, std::memory_order_release);
    initProblem_ = "the maintenance thread cannot be started";
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

bool LeaseTable::LoadDatabase() {
  // Temporaries of a save that was cut short are never read; they only take up room.
  env_.files.RemoveLeftoverTemporaries(files_.database);
  env_.files.RemoveLeftoverTemporaries(files_.journal);
  LeaseDatabaseRead read = ReadLeaseDatabase(env_.files, files_);
  if (read.status == LeaseDatabaseStatus::kUnreadable) {
    // Whatever it is, it is not ours to overwrite at stop.
    const auto moved =
        env_.files.MoveAside(files_.database, files_.database + std::string(kUnreadableSuffix));
    if (!moved) {
      initProblem_ = files_.database + " cannot be read and cannot be moved aside";
      return false;
    }
    env_.problems.Report(files_.database + " cannot be read; moved to " + *moved +
                         ", starting without its leases");
    read = ReadLeaseDatabase(env_.files, files_);
  }
  const bool thisPool = read.file.poolStart == poolStart_ && read.file.poolEnd == poolEnd_;
  std::lock_guard guard(lock_);
  journal_.reset();
  journalUsable_ = read.journalUsable && thisPool;
  journalTorn_ = read.journalTorn;
  journalLines_ = read.journalLines;
  saveDue_ = false;
  // A file written for another pool says nothing about this one.
  if (!thisPool) return true;
  for (LeaseEntry& entry : entries_) {
    entry.state = LEASE_FREE;
    SetHostName(entry, {});
  }
  for (const StoredLease& stored : read.file.leases) {
    if (LeaseEntry* entry = FindEntryLocked(stored.address)) RestoreEntry(stored, *entry);
  }
  return true;
}

bool LeaseTable::OpenJournalLocked() {
  if (!journalUsable_) {
    // None yet, or one of another pool or without a readable header: this run's starts afresh.
    if (!env_.files.ReplaceFile(files_.journal, FormatLeaseHeader(poolStart_, poolEnd_))) {
      return false;
    }
    journalUsable_ = true;
    journalTorn_ = false;
    journalLines_ = 0;
  }
  journal_ = env_.files.OpenForAppend(files_.journal);
  return journal_ != nullptr;
}

void LeaseTable::JournalLocked(const LeaseEntry& entry) {
  std::string line = FormatLeaseLine(entry);
  if (line.empty()) return;  // an over-long identifier never gets this far
  if (journalTorn_) line.insert(0, "\r\n");
  if ((journal_ || OpenJournalLocked()) && journal_->Append(line)) {
    journalTorn_ = false;
    journalFailing_ = false;
    ++journalLines_;
    {
      std::lock_guard wake(maintenanceMutex_);
      if (!syncDue_) {
        syncDue_ = true;
        maintenanceWake_.notify_all();
      }
    }
    if (!saveDue_) return;
  } else {
    journalTorn_ = true;
    JournalFailedLocked();
  }
  // The change is on no disk yet: TAMRIX.db written whole must carry it.
  saveDue_ = !SaveDatabaseLocked();
}

bool LeaseTable::SaveDatabaseLocked() {
  const std::string contents = FormatLeaseDatabase(
      poolStart_, poolEnd_, std::span<const LeaseEntry>(entries_.data(), count_));
  // TAMRIX.db goes first and the journal after it: a crash in between replays a journal whose
  // changes TAMRIX.db already holds, which changes nothing.
  if (!WriteLeaseDatabase(env_.files, files_, contents)) {
    if (!saveFailing_) {
      saveFailing_ = true;
      env_.problems.Report("cannot write " + files_.database +
                           "; the leases are kept in memory and the save is tried again");
    }
    return false;
  }
  journal_.reset();
  journalUsable_ = false;
  journalTorn_ = false;
  journalLines_ = 0;
  if (saveFailing_) {
    saveFailing_ = false;
    env_.problems.Report(files_.database + " written again; the leases are on disk");
  }
  return true;
}

void LeaseTable::JournalFailedLocked() {
  if (journalFailing_) return;
  journalFailing_ = true;
  env_.problems.Report("cannot write " + files_.journal +
                       "; each lease change is saved to TAMRIX.db whole instead");
}

void LeaseTable::SyncJournal() {
  {
    std::lock_guard guard(maintenanceMutex_);
    if (!syncDue_) return;
    syncDue_ = false;
  }
  std::shared_ptr<AppendFile> journal;
  {
    std::lock_guard guard(lock_);
    journal = journal_;
  }
  if (journal && !journal->Sync()) {
    std::lock_guard guard(lock_);
    JournalFailedLocked();
    saveDue_ = !SaveDatabaseLocked();
  }
}

void LeaseTable::LeaseTableShutdown() {
  StopMaintenance();
  if (IsReady()) {
    std::lock_guard guard(lock_);
    // When TAMRIX.db cannot be written the journal keeps this run's changes for the next start.
    if (!SaveDatabaseLocked() && journal_) journal_->Sync();
  }
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
  using SteadyClock = std::chrono::steady_clock;
  auto nextPass = SteadyClock::now();
  std::unique_lock wait(maintenanceMutex_);
  while (!maintenanceStop_) {
    if (syncDue_) {
      // Lines that come in the meantime share the sync.
      maintenanceWake_.wait_for(wait, std::chrono::milliseconds(kJournalSyncDelayMs),
                                [this] { return maintenanceStop_; });
      wait.unlock();
      SyncJournal();
      wait.lock();
    }
    if (SteadyClock::now() >= nextPass) {
      wait.unlock();
      MaintenancePass();
      wait.lock();
      nextPass = SteadyClock::now() + std::chrono::milliseconds(kMaintenanceIntervalMs);
    }
    maintenanceWake_.wait_until(wait, nextPass, [this] { return maintenanceStop_ || syncDue_; });
  }
}

}  // namespace tamrix
