#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/lease_entry.h"
#include "common/operator_report.h"
#include "platform/problem_log.h"
#include "storage/lease_store.h"

namespace tamrix {

class AppendFile;
class Clock;
class ConflictProbe;
class EventSink;
class FileSystem;
class HostLookup;
struct ServerSettings;

inline constexpr int kMaxPoolSize = 256;
inline constexpr Seconds kOfferHoldSeconds = 30;
inline constexpr int kMaintenanceIntervalMs = 5000;

// The sixteen settings values the table takes at init, in the order engine start hands them.
struct LeaseTableSettings {
  std::string StartIPAddr, EndIPAddr, SubnetMask, Gateway, DNSAddr1, DNSAddr2, DomainName,
      WINSAddr1, WINSAddr2, ScopeID;
  std::int32_t LeaseTime = -1;
  std::int32_t ExtendTime = 0;
  std::string SMTP, POP3, NNTP, NTP;
};
LeaseTableSettings LeaseTableSettingsFrom(const ServerSettings& settings);

// What the table needs of the machine; all references outlive the table.
struct LeaseTableEnvironment {
  Clock& clock;
  HostLookup& hosts;
  FileSystem& files;
  EventSink& events;
  ConflictProbe& probe;
  const ServerSettings& settings;    // OptUsePing, OptPingTry, OptPingWait, read at each offer
  std::string databasePath;          // TAMRIX.db; the journal TAMRIX.jnl lives beside it
  bool runMaintenanceThread = true;  // tests drive MaintenancePass() themselves
  ProblemLog& problems = SilentProblemLog();  // an unreadable database, a failed save
};

// The journal is synced this long after its first unsynced line at the latest.
inline constexpr int kJournalSyncDelayMs = 500;

// The engine's memory of the pool: one entry per address, guarded by one lock that no
// operation takes twice. Every operation answers no (0) while the table is not ready.
//
// Every change a client is told of, or that must outlive the process (a binding, a release, a
// conflict mark), is appended to the journal before the operation returns, so before any reply
// leaves; a crash of the process loses none of them, and a power cut what the last
// kJournalSyncDelayMs held. TAMRIX.db is written whole at stop and whenever the journal has grown
// well past the table, and the journal then starts afresh.
class LeaseTable {
 public:
  explicit LeaseTable(LeaseTableEnvironment environment);
  ~LeaseTable();
  LeaseTable(const LeaseTable&) = delete;
  LeaseTable& operator=(const LeaseTable&) = delete;

  // 0, or -1 on a refused setting or a lease database that can neither be read nor moved aside;
  // InitProblem() then says which.
  int LeaseTableInit(const LeaseTableSettings& settings);
  void LeaseTableShutdown();  // stops maintenance, saves TAMRIX.db, marks not ready
  const std::string& InitProblem() const { return initProblem_; }
  bool InitRefusedSettings() const { return initRefusedSettings_; }

  std::uint32_t OfferAddress(std::string_view hostName, const ClientId& client);
  int ConfirmRequest(std::uint32_t address, std::string_view hostName, const ClientId& client);
  int CancelOffer(const ClientId& client);
  int ReleaseAddress(std::uint32_t address, const ClientId& client);
  int MarkConflict(std::uint32_t address, std::string_view hostName);
  // A client's DHCPDECLINE: marks the address as a conflict only when it is offered, bound or
  // reserved to that client. 1 marked; 0 ignored, which the problem log is told.
  int DeclineAddress(std::uint32_t address, const ClientId& client);
  std::uint32_t FindReservedAddress(const ClientId& client);
  int FindReservedName(const ClientId& client, std::array<char, kHostNameField>& name);
  int IsOutsidePool(std::uint32_t address) const;
  int CopyLeaseTable(std::span<LeaseEntry, kMaxPoolSize> out);
  std::uint32_t ServerAddress();
  // One of this host's addresses as the resolver listed them at init.
  bool IsHostAddress(std::uint32_t address) const;
  std::vector<std::uint32_t> HostAddresses() const;

  // The pool by what holds its addresses, classified as the control panel names the states.
  // All zero while not ready.
  PoolUsage CountPoolUsage() const;
  // Turns the address into a reservation for the client under the host name, while the service
  // runs, by the reservation page's rules, and journals it before returning. kNoService while
  // not ready.
  ReserveOutcome ReserveLease(std::uint32_t address, const ClientId& client,
                              std::string_view hostName);

  // One pass of the maintenance thread: bound entries past expiry enter grace, offered and grace
  // entries past expiry are freed with report 10001. It also syncs the journal, rewrites
  // TAMRIX.db when the journal has grown long, and retries a save that failed.
  void MaintenancePass();

  bool IsReady() const;
  // Settings accessors (0 or empty when not configured).
  std::uint32_t SubnetMask() const { return mask_; }
  std::uint32_t Gateway() const { return gateway_; }
  std::uint32_t Dns1() const { return dns_[0]; }
  std::uint32_t Dns2() const { return dns_[1]; }
  const std::string& DomainName() const { return domainName_; }
  std::uint32_t Wins1() const { return wins_[0]; }
  std::uint32_t Wins2() const { return wins_[1]; }
  const std::string& ScopeId() const { return scopeId_; }
  std::uint32_t Smtp() const { return smtp_; }
  std::uint32_t Pop3() const { return pop3_; }
  std::uint32_t Nntp() const { return nntp_; }
  std::uint32_t Ntp() const { return ntp_; }
  std::uint32_t LeaseTimeValue() const;
  std::uint32_t RenewalTime() const;
  std::uint32_t RebindingTime() const;

 private:
  // Helpers whose name ends in Locked expect lock_ to be held by the caller.
  LeaseEntry* FindEntryLocked(std::uint32_t address);
  LeaseEntry* FindHeldByClientLocked(const ClientId& client);
  bool AddressAnswersProbe(std::uint32_t address);
  void RebuildPoolLocked(std::uint32_t start, std::uint32_t end, std::uint32_t mask, int count);
  bool LoadDatabase();
  // Appends the entry's new state to the journal (opened on the first change of a run).
  void JournalLocked(const LeaseEntry& entry);
  bool OpenJournalLocked();
  // Writes TAMRIX.db whole and drops the journal; says so when it fails, and when it works again.
  bool SaveDatabaseLocked();
  void JournalFailedLocked();
  void SyncJournal();
  bool StartMaintenance();
  void StopMaintenance();
  void MaintenanceLoop();

  LeaseTableEnvironment env_;
  mutable std::mutex lock_;
  std::array<LeaseEntry, kMaxPoolSize> entries_{};
  int count_ = 0;
  std::uint32_t poolStart_ = 0, poolEnd_ = 0, mask_ = 0, gateway_ = 0;
  std::uint32_t dns_[2] = {0, 0}, wins_[2] = {0, 0};
  std::string domainName_, scopeId_;
  std::uint32_t leaseTime_ = 0;  // 0 = unlimited
  std::int32_t extendTime_ = 0;
  std::uint32_t smtp_ = 0, pop3_ = 0, nntp_ = 0, ntp_ = 0;
  // This host's addresses as the resolver listed them at init. A resolution per reply cost more
  // than the rest of the exchange together; which of them qualifies still depends on the pool's
  // entries, so that choice is made per reply.
  std::vector<std::uint32_t> hostAddresses_;
  // An offer found no address, and said so; cleared when an offer takes a free address again or
  // an address is freed, so each shortage is reported once.
  bool poolExhausted_ = false;
  // Set last by init (release), so a thread that sees it set also sees the pool and settings.
  std::atomic<bool> ready_{false};

  LeaseFiles files_;
  std::string initProblem_;
  bool initRefusedSettings_ = false;
  // The journal, under lock_. It is replaced only on the maintenance thread, or while that
  // thread does not run, so that thread may sync it without the lock.
  std::shared_ptr<AppendFile> journal_;
  std::size_t journalLines_ = 0;
  bool journalUsable_ = false;   // the journal on disk is this pool's and may be appended to
  bool journalTorn_ = false;     // its last line may be cut short: the next append ends it first
  bool saveDue_ = false;         // a change may be on no disk: save whole at the next chance
  bool journalFailing_ = false;  // said; cleared by the next append that works
  bool saveFailing_ = false;     // said; a save that works says so again

  std::thread maintenance_;
  std::mutex maintenanceMutex_;
  std::condition_variable maintenanceWake_;
  bool maintenanceStop_ = false;
  bool syncDue_ = false;  // under maintenanceMutex_: the journal has unsynced lines
};

}  // namespace tamrix
