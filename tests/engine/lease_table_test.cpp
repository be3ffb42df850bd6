#include "engine/lease_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <tuple>
#include <vector>

#include "common/address.h"
#include "storage/lease_database.h"
#include "storage/server_settings.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_conflict_probe.h"
#include "tests/fakes/fake_file_system.h"
#include "tests/fakes/fake_host_lookup.h"
#include "tests/fakes/recording_event_sink.h"
#include "tests/fakes/recording_problem_log.h"

namespace tamrix {
namespace {

using testing::FakeClock;
using testing::FakeConflictProbe;
using testing::FakeFileSystem;
using testing::FakeHostLookup;
using testing::RecordedEvent;
using testing::RecordingEventSink;
using testing::RecordingProblemLog;

constexpr Seconds kT0 = 1'000'000'000;
constexpr Seconds kMaxTime = std::numeric_limits<Seconds>::max();
const std::string kDatabasePath = "/win/TAMRIX.db";
const std::string kJournalPath = "/win/TAMRIX.jnl";
constexpr std::uint32_t A = 0xC0A8000A;  // 192.168.0.10, first address of the default pool

ClientId Client(std::uint8_t n) {
  const std::uint8_t mac[] = {0x00, 0xA0, 0xC9, 0x12, 0x34, n};
  return MakeClientId(1, mac, sizeof mac);
}
const ClientId X = Client(1);
const ClientId Y = Client(2);
const ClientId kNoClient{};

LeaseTableSettings DefaultSettings() {
  LeaseTableSettings s;
  s.StartIPAddr = "192.168.0.10";
  s.EndIPAddr = "192.168.0.19";
  s.SubnetMask = "255.255.255.0";
  s.LeaseTime = 3600;
  s.ExtendTime = 600;
  return s;
}

LeaseEntry Stored(std::uint32_t address, const ClientId& client, std::uint32_t state,
                  Seconds expiry, std::string_view name) {
  LeaseEntry e;
  e.address = address;
  e.client = client;
  e.state = state;
  e.expiry = expiry;
  SetHostName(e, name);
  return e;
}

// One machine of fakes and a table on it; tests drive the maintenance pass themselves.
struct Harness {
  FakeClock clock{kT0};
  FakeHostLookup hosts;
  FakeFileSystem files;
  RecordingEventSink events;
  FakeConflictProbe probe;
  ServerSettings server;
  RecordingProblemLog problems;
  LeaseTable table{{clock, hosts, files, events, probe, server, kDatabasePath, false, problems}};

  int Init(const LeaseTableSettings& s = DefaultSettings()) { return table.LeaseTableInit(s); }
  // As the control panel stores it: the journal goes with the rewrite.
  void StoreDatabase(std::uint32_t start, std::uint32_t end, std::vector<LeaseEntry> entries) {
    WriteLeaseDatabase(files, LeaseFiles::Beside(kDatabasePath),
                       FormatLeaseDatabase(start, end, entries));
  }
  std::vector<LeaseEntry> Entries() {
    std::array<LeaseEntry, kMaxPoolSize> out{};
    const int n = table.CopyLeaseTable(out);
    return {out.begin(), out.begin() + n};
  }
  LeaseEntry Entry(std::uint32_t address) {
    for (const LeaseEntry& e : Entries()) {
      if (e.address == address) return e;
    }
    ADD_FAILURE() << "no entry for " << FormatAddress(address);
    return {};
  }
  void PassAt(Seconds now) {
    clock.Set(now);
    table.MaintenancePass();
  }
};

TEST(LeaseTableInit, RefusesBadSettings) {
  struct Case {
    const char* name;
    std::function<void(LeaseTableSettings&)> change;
    int result;
    int count;
  };
  const Case cases[] = {
      {"defaults", [](auto&) {}, 0, 10},
      {"pool of one", [](auto& s) { s.EndIPAddr = s.StartIPAddr; }, 0, 1},
      {"256 addresses",
       [](auto& s) { s.StartIPAddr = "192.168.0.1", s.EndIPAddr = "192.168.1.0"; }, 0, 256},
      {"257 addresses",
       [](auto& s) { s.StartIPAddr = "192.168.0.1", s.EndIPAddr = "192.168.1.1"; }, -1, 0},
      {"end below start", [](auto& s) { s.EndIPAddr = "192.168.0.9"; }, -1, 0},
      {"far end below start", [](auto& s) { s.EndIPAddr = "1.0.0.0"; }, -1, 0},
      {"no start", [](auto& s) { s.StartIPAddr = ""; }, -1, 0},
      {"no end", [](auto& s) { s.EndIPAddr = ""; }, -1, 0},
      {"no mask", [](auto& s) { s.SubnetMask = ""; }, -1, 0},
      {"lease 59", [](auto& s) { s.LeaseTime = 59; }, -1, 0},
      {"lease 0", [](auto& s) { s.LeaseTime = 0; }, -1, 0},
      {"lease 60", [](auto& s) { s.LeaseTime = 60; }, 0, 10},
      {"lease unlimited", [](auto& s) { s.LeaseTime = -1; }, 0, 10},
      {"lease -2 is huge unsigned", [](auto& s) { s.LeaseTime = -2; }, 0, 10},
      {"dns2 without dns1", [](auto& s) { s.DNSAddr2 = "10.0.0.2"; }, -1, 0},
      {"dns1 equal dns2", [](auto& s) { s.DNSAddr1 = s.DNSAddr2 = "10.0.0.2"; }, -1, 0},
      {"dns1 alone", [](auto& s) { s.DNSAddr1 = "10.0.0.1"; }, 0, 10},
      {"dns pair",
       [](auto& s) { s.DNSAddr1 = "10.0.0.1", s.DNSAddr2 = "10.0.0.2"; }, 0, 10},
      {"wins2 without wins1", [](auto& s) { s.WINSAddr2 = "10.0.0.2"; }, -1, 0},
      {"wins1 equal wins2", [](auto& s) { s.WINSAddr1 = s.WINSAddr2 = "10.0.0.2"; }, -1, 0},
      {"wins1 alone", [](auto& s) { s.WINSAddr1 = "10.0.0.1"; }, 0, 10},
      {"wins pair",
       [](auto& s) { s.WINSAddr1 = "10.0.0.1", s.WINSAddr2 = "10.0.0.2"; }, 0, 10},
  };
  for (const Case& c : cases) {
    Harness h;
    LeaseTableSettings s = DefaultSettings();
    c.change(s);
    EXPECT_EQ(h.Init(s), c.result) << c.name;
    EXPECT_EQ(h.table.IsReady(), c.result == 0) << c.name;
    EXPECT_EQ(static_cast<int>(h.Entries().size()), c.count) << c.name;
  }
}

TEST(LeaseTableInit, BuildsThePoolAndKeepsTheSettings) {
  Harness h;
  h.hosts.names = {{"mail.example", 0x0A000019}, {"10.0.0.110", 0x0A00006E}};
  LeaseTableSettings s = DefaultSettings();
  s.Gateway = "192.168.0.1";
  s.DNSAddr1 = "10.0.0.1";
  s.DNSAddr2 = "10.0.0.2";
  s.WINSAddr1 = "10.0.0.3";
  s.DomainName = "office.example";
  s.ScopeID = "scope";
  s.SMTP = "mail.example";
  s.POP3 = "10.0.0.110";
  s.NNTP = "unknown.example";
  ASSERT_EQ(h.Init(s), 0);

  const auto entries = h.Entries();
  ASSERT_EQ(entries.size(), 10u);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].address, A + i);
    EXPECT_EQ(entries[i].state, LEASE_FREE);
  }
  EXPECT_EQ(h.table.SubnetMask(), 0xFFFFFF00u);
  EXPECT_EQ(h.table.Gateway(), 0xC0A80001u);
  EXPECT_EQ(h.table.Dns1(), 0x0A000001u);
  EXPECT_EQ(h.table.Dns2(), 0x0A000002u);
  EXPECT_EQ(h.table.Wins1(), 0x0A000003u);
  EXPECT_EQ(h.table.Wins2(), 0u);
  EXPECT_EQ(h.table.DomainName(), "office.example");
  EXPECT_EQ(h.table.ScopeId(), "scope");
  EXPECT_EQ(h.table.Smtp(), 0x0A000019u);
  EXPECT_EQ(h.table.Pop3(), 0x0A00006Eu);
  EXPECT_EQ(h.table.Nntp(), 0u);  // a name that does not resolve is simply not set
  EXPECT_EQ(h.table.Ntp(), 0u);
}

TEST(LeaseTableInit, LeaseTimeOptionValues) {
  struct Case {
    std::int32_t setting;
    std::uint32_t lease, renewal, rebinding;
  };
  const Case cases[] = {
      {3600, 3600, 1800, 3150},
      {60, 60, 30, 53},
      {-1, 0xFFFFFFFF, 0x1FFFFFFE, 0x1FFFFFFF},
  };
  for (const Case& c : cases) {
    Harness h;
    LeaseTableSettings s = DefaultSettings();
    s.LeaseTime = c.setting;
    ASSERT_EQ(h.Init(s), 0);
    EXPECT_EQ(h.table.LeaseTimeValue(), c.lease) << c.setting;
    EXPECT_EQ(h.table.RenewalTime(), c.renewal) << c.setting;
    EXPECT_EQ(h.table.RebindingTime(), c.rebinding) << c.setting;
  }
}

TEST(LeaseTable, EveryOperationAnswersNoWhileNotReady) {
  Harness h;
  auto check = [&](const char* when) {
    std::array<char, kHostNameField> name{};
    std::array<LeaseEntry, kMaxPoolSize> out{};
    EXPECT_EQ(h.table.OfferAddress("pc", X), 0u) << when;
    EXPECT_EQ(h.table.ConfirmRequest(A, "pc", X), 0) << when;
    EXPECT_EQ(h.table.CancelOffer(X), 0) << when;
    EXPECT_EQ(h.table.ReleaseAddress(A, X), 0) << when;
    EXPECT_EQ(h.table.MarkConflict(A, kConflictHostName), 0) << when;
    EXPECT_EQ(h.table.DeclineAddress(A, X), 0) << when;
    EXPECT_EQ(h.table.FindReservedAddress(X), 0u) << when;
    EXPECT_EQ(h.table.FindReservedName(X, name), 0) << when;
    EXPECT_EQ(h.table.IsOutsidePool(A), 1) << when;
    EXPECT_EQ(h.table.CopyLeaseTable(out), 0) << when;
    EXPECT_EQ(h.table.ServerAddress(), kBroadcastAddress) << when;
  };
  check("before init");
  ASSERT_EQ(h.Init(), 0);
  EXPECT_EQ(h.table.ConfirmRequest(A, "pc", X), 1);
  h.table.LeaseTableShutdown();
  check("after shutdown");
  ASSERT_EQ(h.Init(), 0);
  LeaseTableSettings tooBig = DefaultSettings();
  tooBig.EndIPAddr = "192.168.2.0";
  EXPECT_EQ(h.Init(tooBig), -1);
  check("after a refused rebuild");
}

// Each row brings the first pool entry into a state, acts on it and checks where it ends.
TEST(LeaseTable, EntryTransitions) {
  auto offer = [](Harness& h) { ASSERT_EQ(h.table.OfferAddress("x", X), A); };
  auto bind = [](Harness& h) { ASSERT_EQ(h.table.ConfirmRequest(A, "x", X), 1); };
  auto grace = [](Harness& h) {
    ASSERT_EQ(h.table.ConfirmRequest(A, "x", X), 1);
    h.PassAt(kT0 + 3601);
    ASSERT_EQ(h.Entry(A).state, LEASE_GRACE);
  };
  auto none = [](Harness&) {};
  struct Case {
    const char* name;
    std::function<void(Harness&)> arrange;
    std::function<int(Harness&)> act;
    int result;
    std::uint32_t state;
    Seconds expiry;  // checked when the entry is held
    bool expired;    // report 10001 expected
  };
  const Seconds later = kT0 + 4000;
  auto at = [](Seconds t, std::function<int(Harness&)> f) {
    return [t, f](Harness& h) { h.clock.Set(t); return f(h); };
  };
  auto confirmX = [](Harness& h) { return h.table.ConfirmRequest(A, "x", X); };
  auto confirmY = [](Harness& h) { return h.table.ConfirmRequest(A, "y", Y); };
  auto cancelX = [](Harness& h) { return h.table.CancelOffer(X); };
  auto releaseX = [](Harness& h) { return h.table.ReleaseAddress(A, X); };
  auto releaseY = [](Harness& h) { return h.table.ReleaseAddress(A, Y); };
  auto releaseAny = [](Harness& h) { return h.table.ReleaseAddress(A, kNoClient); };
  auto conflict = [](Harness& h) { return h.table.MarkConflict(A, kConflictHostName); };
  auto declineX = [](Harness& h) { return h.table.DeclineAddress(A, X); };
  auto declineY = [](Harness& h) { return h.table.DeclineAddress(A, Y); };
  auto pass = [](Harness& h) {
    h.table.MaintenancePass();
    return 0;
  };
  const Case cases[] = {
      {"free, offered", none, [](Harness& h) { return int(h.table.OfferAddress("x", X) == A); },
       1, LEASE_OFFERED, kT0 + 30, false},
      {"free, confirmed", none, confirmX, 1, LEASE_BOUND, kT0 + 3600, false},
      {"free, confirmed without identifier", none,
       [](Harness& h) { return h.table.ConfirmRequest(A, "", kNoClient); }, 1, LEASE_BOUND,
       kT0 + 3600, false},
      {"offered, confirmed", offer, at(kT0 + 10, confirmX), 1, LEASE_BOUND, kT0 + 3610, false},
      {"bound, confirmed again", bind, at(kT0 + 100, confirmX), 1, LEASE_BOUND, kT0 + 3700,
       false},
      {"grace, confirmed", grace, at(later, confirmX), 1, LEASE_BOUND, later + 3600, false},
      {"offered, other client refused", offer, confirmY, 0, LEASE_OFFERED, kT0 + 30, false},
      {"bound, other client refused", bind, confirmY, 0, LEASE_BOUND, kT0 + 3600, false},
      {"grace, other client refused", grace, confirmY, 0, LEASE_GRACE, kT0 + 4200, false},
      {"offered, hold passes", offer, at(kT0 + 31, pass), 0, LEASE_FREE, 0, true},
      {"bound, lease passes", bind, at(kT0 + 3601, pass), 0, LEASE_GRACE, kT0 + 4200, false},
      {"grace, grace passes", grace, at(kT0 + 4201, pass), 0, LEASE_FREE, 0, true},
      {"offered, cancelled", offer, cancelX, 1, LEASE_FREE, 0, false},
      {"grace, cancelled", grace, cancelX, 1, LEASE_FREE, 0, false},
      {"bound, cancel ignored", bind, cancelX, 0, LEASE_BOUND, kT0 + 3600, false},
      {"offered, released", offer, releaseX, 1, LEASE_FREE, 0, false},
      {"bound, released", bind, releaseX, 1, LEASE_FREE, 0, false},
      {"grace, released", grace, releaseX, 1, LEASE_FREE, 0, false},
      {"bound, released without identifier", bind, releaseAny, 1, LEASE_FREE, 0, false},
      {"bound, release by other refused", bind, releaseY, 0, LEASE_BOUND, kT0 + 3600, false},
      {"free, conflict", none, conflict, 1, LEASE_RESERVED, 0, false},
      {"bound, conflict", bind, conflict, 1, LEASE_RESERVED, 0, false},
      {"offered, declined by its client", offer, declineX, 1, LEASE_RESERVED, 0, false},
      {"bound, declined by its client", bind, declineX, 1, LEASE_RESERVED, 0, false},
      {"grace, declined by its client", grace, declineX, 1, LEASE_RESERVED, 0, false},
      {"free, decline ignored", none, declineX, 0, LEASE_FREE, 0, false},
      {"offered, decline by other ignored", offer, declineY, 0, LEASE_OFFERED, kT0 + 30, false},
      {"bound, decline by other ignored", bind, declineY, 0, LEASE_BOUND, kT0 + 3600, false},
  };
  for (const Case& c : cases) {
    Harness h;
    ASSERT_EQ(h.Init(), 0);
    c.arrange(h);
    h.events.events.clear();
    EXPECT_EQ(c.act(h), c.result) << c.name;
    const LeaseEntry e = h.Entry(A);
    EXPECT_EQ(e.state, c.state) << c.name;
    if (IsHeld(c.state)) {
      EXPECT_EQ(e.expiry, c.expiry) << c.name;
    }
    if (c.state == LEASE_FREE && !c.expired) {  // expiry leaves the name for the panel's view
      EXPECT_EQ(HostName(e), "") << c.name;
    }
    if (c.state == LEASE_RESERVED) {
      EXPECT_TRUE(e.client.IsEmpty()) << c.name;
      EXPECT_EQ(HostName(e), kConflictHostName) << c.name;
    }
    const std::vector<RecordedEvent> expired = {{EV_LEASE_EXPIRED, FormatClientId(X), "192.168.0.10"}};
    EXPECT_EQ(h.events.events, c.expired ? expired : std::vector<RecordedEvent>{}) << c.name;
  }
}

TEST(LeaseTable, RepeatedDiscoverKeepsTheFirstOfferHold) {
  Harness h;
  ASSERT_EQ(h.Init(), 0);
  ASSERT_EQ(h.table.OfferAddress("first", X), A);
  EXPECT_EQ(h.table.OfferAddress("other", Y), A + 1);
  h.clock.Set(kT0 + 20);
  EXPECT_EQ(h.table.OfferAddress("second", X), A);
  const LeaseEntry e = h.Entry(A);
  EXPECT_EQ(e.expiry, kT0 + 30);
  EXPECT_EQ(HostName(e), "first");
  h.PassAt(kT0 + 30);
  EXPECT_EQ(h.Entry(A).state, LEASE_OFFERED);
  h.PassAt(kT0 + 31);
  EXPECT_EQ(h.Entry(A).state, LEASE_FREE);
  EXPECT_EQ(h.Entry(A + 1).state, LEASE_FREE);
  EXPECT_EQ(h.events.Ids(), (std::vector<EventId>{EV_LEASE_EXPIRED, EV_LEASE_EXPIRED}));
}

TEST(LeaseTable, RequestRules) {
  Harness h;
  ASSERT_EQ(h.Init(), 0);
  EXPECT_EQ(h.table.ConfirmRequest(A + 3, "x", X), 1);  // no earlier offer needed
  EXPECT_EQ(h.table.ConfirmRequest(A + 4, "x", X), 0);  // holds another address
  EXPECT_EQ(h.Entry(A + 4).state, LEASE_FREE);
  EXPECT_EQ(h.table.ConfirmRequest(A + 3, "y", Y), 0);  // held by another client
  EXPECT_EQ(h.table.ConfirmRequest(A + 10, "y", Y), 0);  // just past the pool
  // Any other held entry of the client refuses, also one after the requested address.
  h.StoreDatabase(A, A + 9, {Stored(A + 1, Y, LEASE_OFFERED, kT0 + 30, "y"),
                             Stored(A + 2, Y, LEASE_OFFERED, kT0 + 30, "y")});
  ASSERT_EQ(h.Init(), 0);
  EXPECT_EQ(h.table.ConfirmRequest(A + 1, "y", Y), 0);
  EXPECT_EQ(h.Entry(A + 1).state, LEASE_OFFERED);
  ASSERT_EQ(h.table.ConfirmRequest(A + 3, "x", X), 1);
  EXPECT_EQ(h.table.IsOutsidePool(A - 1), 1);
  EXPECT_EQ(h.table.IsOutsidePool(A), 0);
  EXPECT_EQ(h.table.IsOutsidePool(A + 9), 0);
  EXPECT_EQ(h.table.IsOutsidePool(A + 10), 1);
  // A DISCOVER finds the bound entry and leaves it alone.
  EXPECT_EQ(h.table.OfferAddress("new name", X), A + 3);
  EXPECT_EQ(h.Entry(A + 3).state, LEASE_BOUND);
  EXPECT_EQ(HostName(h.Entry(A + 3)), "x");
}

TEST(LeaseTable, OverLongIdentifierIsRefusedEverywhere) {
  Harness h;
  ASSERT_EQ(h.Init(), 0);
  ClientId longId;
  longId.length = 18;
  std::array<char, kHostNameField> name{};
  EXPECT_EQ(h.table.OfferAddress("x", longId), 0u);
  EXPECT_EQ(h.table.ConfirmRequest(A, "x", longId), 0);
  EXPECT_EQ(h.table.CancelOffer(longId), 0);
  EXPECT_EQ(h.table.ReleaseAddress(A, longId), 0);
  EXPECT_EQ(h.table.FindReservedAddress(longId), 0u);
  EXPECT_EQ(h.table.FindReservedName(longId, name), 0);
  EXPECT_EQ(h.Entry(A).state, LEASE_FREE);
}

TEST(LeaseTable, GraceThenFreedWithReport) {
  Harness h;
  ASSERT_EQ(h.Init(), 0);
  ASSERT_EQ(h.table.ConfirmRequest(A, "x", X), 1);
  h.PassAt(kT0 + 3600);
  EXPECT_EQ(h.Entry(A).state, LEASE_BOUND);
  h.PassAt(kT0 + 3601);
  EXPECT_EQ(h.Entry(A).state, LEASE_GRACE);
  h.PassAt(kT0 + 4200);
  EXPECT_EQ(h.Entry(A).state, LEASE_GRACE);
  EXPECT_TRUE(h.events.events.empty());
  h.PassAt(kT0 + 4201);
  EXPECT_EQ(h.Entry(A).state, LEASE_FREE);
  EXPECT_EQ(h.events.events,
            (std::vector<RecordedEvent>{{EV_LEASE_EXPIRED, FormatClientId(X), "192.168.0.10"}}));
}

TEST(LeaseTable, WithoutExtendTimeALeaseEndsInOnePass) {
  Harness h;
  LeaseTableSettings s = DefaultSettings();
  s.ExtendTime = 0;
  ASSERT_EQ(h.Init(s), 0);
  ASSERT_EQ(h.table.ConfirmRequest(A, "x", X), 1);
  h.PassAt(kT0 + 3601);
  EXPECT_EQ(h.Entry(A).state, LEASE_FREE);
  EXPECT_EQ(h.events.Ids(), std::vector<EventId>{EV_LEASE_EXPIRED});
}

TEST(LeaseTable, UnlimitedLeaseNeverEnds) {
  Harness h;
  LeaseTableSettings s = DefaultSettings();
  s.LeaseTime = -1;
  ASSERT_EQ(h.Init(s), 0);
  ASSERT_EQ(h.table.ConfirmRequest(A, "x", X), 1);
  EXPECT_EQ(h.Entry(A).expiry, 0);
  h.PassAt(kMaxTime);
  EXPECT_EQ(h.Entry(A).state, LEASE_BOUND);
  EXPECT_TRUE(h.events.events.empty());
}

// Sums past the end of signed 32-bit time must not wrap into the past and end a lease at once.
TEST(LeaseTable, ExpiryArithmeticSaturates) {
  {
    Harness h;
    ASSERT_EQ(h.Init(), 0);
    h.clock.Set(kMaxTime - 10);
    ASSERT_EQ(h.table.OfferAddress("x", X), A);
    EXPECT_EQ(h.Entry(A).expiry, kMaxTime);
    ASSERT_EQ(h.table.ConfirmRequest(A + 1, "y", Y), 1);
    EXPECT_EQ(h.Entry(A + 1).expiry, kMaxTime);
    h.table.MaintenancePass();
    EXPECT_EQ(h.Entry(A).state, LEASE_OFFERED);
    EXPECT_EQ(h.Entry(A + 1).state, LEASE_BOUND);
  }
  {
    Harness h;
    LeaseTableSettings s = DefaultSettings();
    s.LeaseTime = 60;
    ASSERT_EQ(h.Init(s), 0);
    h.clock.Set(kMaxTime - 100);
    ASSERT_EQ(h.table.ConfirmRequest(A, "x", X), 1);
    h.PassAt(kMaxTime - 39);
    EXPECT_EQ(h.Entry(A).state, LEASE_GRACE);
    EXPECT_EQ(h.Entry(A).expiry, kMaxTime);
    EXPECT_TRUE(h.events.events.empty());
  }
  {
    Harness h;
    LeaseTableSettings s = DefaultSettings();
    s.LeaseTime = -2;  // taken as an unsigned number of seconds
    ASSERT_EQ(h.Init(s), 0);
    ASSERT_EQ(h.table.ConfirmRequest(A, "x", X), 1);
    EXPECT_EQ(h.Entry(A).expiry, kMaxTime);
  }
}

TEST(LeaseTable, RestartFreesEntriesThatExpiredWhileStopped) {
  Harness h;
  h.StoreDatabase(A, A + 9,
                  {Stored(A, X, LEASE_OFFERED, kT0 - 100, "x"),
                   Stored(A + 1, Y, LEASE_BOUND, kT0 - 10000, "y"),
                   Stored(A + 2, Client(3), LEASE_BOUND, kT0 - 100, "z"),
                   Stored(A + 3, Client(4), LEASE_GRACE, kT0 + 100, "w")});
  ASSERT_EQ(h.Init(), 0);
  EXPECT_EQ(h.Entry(A).state, LEASE_OFFERED);
  h.table.MaintenancePass();
  EXPECT_EQ(h.Entry(A).state, LEASE_FREE);
  EXPECT_EQ(h.Entry(A + 1).state, LEASE_FREE);
  EXPECT_EQ(h.Entry(A + 2).state, LEASE_GRACE);
  EXPECT_EQ(h.Entry(A + 2).expiry, kT0 + 500);
  EXPECT_EQ(h.Entry(A + 3).state, LEASE_GRACE);
  EXPECT_EQ(h.events.events,
            (std::vector<RecordedEvent>{{EV_LEASE_EXPIRED, FormatClientId(X), "192.168.0.10"},
                                        {EV_LEASE_EXPIRED, FormatClientId(Y), "192.168.0.11"}}));
}

TEST(LeaseTable, Reservations) {
  Harness h;
  h.StoreDatabase(A, A + 9,
                  {Stored(A, kNoClient, LEASE_RESERVED, 0, kDisabledHostName),
                   Stored(A + 5, X, LEASE_RESERVED, 0, "taro")});
  ASSERT_EQ(h.Init(), 0);
  const LeaseEntry reserved = h.Entry(A + 5);

  EXPECT_EQ(h.table.OfferAddress("other", X), A + 5);
  EXPECT_EQ(h.table.ConfirmRequest(A + 5, "other", X), 1);
  EXPECT_EQ(h.table.ConfirmRequest(A + 1, "other", X), 0);
  EXPECT_EQ(h.table.ConfirmRequest(A + 5, "y", Y), 0);
  EXPECT_EQ(h.table.ReleaseAddress(A + 5, X), 0);
  EXPECT_EQ(h.table.ReleaseAddress(A + 5, kNoClient), 0);
  EXPECT_EQ(h.table.CancelOffer(X), 0);
  h.PassAt(kMaxTime);
  const LeaseEntry after = h.Entry(A + 5);
  EXPECT_EQ(after.state, reserved.state);
  EXPECT_EQ(after.expiry, 0);
  EXPECT_EQ(HostName(after), "taro");
  EXPECT_TRUE(after.client == X);

  std::array<char, kHostNameField> name{};
  EXPECT_EQ(h.table.FindReservedAddress(X), A + 5);
  EXPECT_EQ(h.table.FindReservedName(X, name), 4);
  EXPECT_STREQ(name.data(), "taro");
  EXPECT_EQ(h.table.FindReservedAddress(Y), 0u);
  EXPECT_EQ(h.table.FindReservedName(Y, name), 0);
  // A disabled address has no identifier, so an empty one must never match it.
  EXPECT_EQ(h.table.FindReservedAddress(kNoClient), 0u);

  // The disabled first address is passed over; nobody may confirm it.
  EXPECT_EQ(h.table.OfferAddress("y", Y), A + 1);
  EXPECT_EQ(h.table.ConfirmRequest(A, "", kNoClient), 0);
  EXPECT_EQ(HostName(h.Entry(A)), kDisabledHostName);
}

// An empty identifier proves nothing, not even against an offer made to an empty one. The client
// an address is reserved for may set it aside like any holder.
TEST(LeaseTable, DeclineIsTakenOnlyFromTheIdentifiedHolder) {
  Harness h;
  h.StoreDatabase(A, A + 9, {Stored(A + 5, X, LEASE_RESERVED, 0, "taro")});
  ASSERT_EQ(h.Init(), 0);
  ASSERT_EQ(h.table.OfferAddress("", kNoClient), A);
  EXPECT_EQ(h.table.DeclineAddress(A, kNoClient), 0);
  EXPECT_EQ(h.Entry(A).state, LEASE_OFFERED);
  EXPECT_EQ(h.problems.All(),
            "ignored DHCPDECLINE of 192.168.0.10 from a client without identifier, which does "
            "not hold it\n");
  EXPECT_EQ(h.table.DeclineAddress(A + 5, X), 1);
  EXPECT_EQ(HostName(h.Entry(A + 5)), kConflictHostName);
}

// The five counts add up to the pool through offer, binding, release, grace and expiry;
// addresses without a client (disabled, in conflict) serve nobody and count apart.
TEST(LeaseTable, PoolUsageFollowsEveryChange) {
  Harness h;
  h.StoreDatabase(A, A + 9, {Stored(A + 7, kNoClient, LEASE_RESERVED, 0, kDisabledHostName),
                             Stored(A + 8, X, LEASE_RESERVED, 0, "taro")});
  ASSERT_EQ(h.Init(), 0);
  ASSERT_EQ(h.table.MarkConflict(A + 9, kConflictHostName), 1);
  ASSERT_EQ(h.table.OfferAddress("y", Y), A);
  ASSERT_EQ(h.table.OfferAddress("z", Client(3)), A + 1);
  // leased, offered, reserved, disabled, free
  EXPECT_EQ(h.table.CountPoolUsage(), (PoolUsage{0, 2, 1, 2, 5}));
  ASSERT_EQ(h.table.ConfirmRequest(A, "y", Y), 1);
  ASSERT_EQ(h.table.ReleaseAddress(A + 1, Client(3)), 1);
  h.PassAt(kT0 + 3601);  // Y in grace
  EXPECT_EQ(h.table.CountPoolUsage(), (PoolUsage{1, 0, 1, 2, 6}));
  h.PassAt(kT0 + 3600 + 600 + 1);
  EXPECT_EQ(h.table.CountPoolUsage(), (PoolUsage{0, 0, 1, 2, 7}));
}

// One report per shortage however many offers fail; a client offered what it already holds
// does not end it, an address freed does, and the next shortage is reported again.
TEST(LeaseTable, ExhaustionIsReportedOncePerShortage) {
  Harness h;
  LeaseTableSettings one = DefaultSettings();
  one.EndIPAddr = one.StartIPAddr;
  ASSERT_EQ(h.Init(one), 0);
  // In order: a shortage begins, the holder is offered its own, it goes on; X's offer is
  // cancelled and the address bound at once by another, and the next shortage begins.
  const std::vector<std::uint32_t> results{
      h.table.OfferAddress("x", X), h.table.OfferAddress("y", Y), h.table.OfferAddress("x", X),
      h.table.OfferAddress("y", Y), static_cast<std::uint32_t>(h.table.CancelOffer(X)),
      static_cast<std::uint32_t>(h.table.ConfirmRequest(A, "z", Client(3))),
      h.table.OfferAddress("y", Y)};
  EXPECT_EQ(results, (std::vector<std::uint32_t>{A, 0, A, 0, 1, 1, 0}));
  const auto ids = h.events.Ids();
  EXPECT_EQ(std::count(ids.begin(), ids.end(), EV_POOL_EXHAUSTED), 2);
}

// A lease made a reservation while the service runs, by the reservation page's rules; the
// journal keeps it through a crash (the page reads the same folded file), and the client gets
// the address back after a release.
TEST(LeaseTable, ReserveLeaseWhileRunning) {
  Harness h;
  h.StoreDatabase(A, A + 9, {Stored(A + 7, kNoClient, LEASE_RESERVED, 0, kDisabledHostName),
                             Stored(A + 8, Y, LEASE_RESERVED, 0, "hanako")});
  ASSERT_EQ(h.Init(), 0);
  ASSERT_EQ(h.table.ConfirmRequest(A + 2, "taro", X), 1);
  ASSERT_EQ(h.table.ConfirmRequest(A + 3, "jiro", Client(3)), 1);
  using O = ReserveOutcome;
  const std::tuple<std::uint32_t, ClientId, std::string_view, ReserveOutcome> cases[] = {
      {A + 2, X, "", O::kRefused},  // the page wants a host name
      {A + 2, kNoClient, "taro", O::kRefused},
      {A - 1, X, "taro", O::kOutsidePool},
      {A + 3, X, "taro", O::kAddressTaken},
      {A + 7, X, "taro", O::kAddressTaken},  // disabled
      {A + 8, X, "taro", O::kAddressTaken},
      {A + 4, Y, "hanako", O::kClientHasReservation},
      {A + 4, X, "taro", O::kRefused},  // X uses A + 2 at this moment
      {A + 2, X, "taro", O::kReserved},
  };
  for (const auto& [address, client, name, outcome] : cases) {
    EXPECT_EQ(h.table.ReserveLease(address, client, name), outcome) << FormatAddress(address);
  }
  Harness killed;
  killed.files.files = h.files.files;
  killed.files.unsynced = h.files.unsynced;
  ASSERT_EQ(killed.Init(), 0);
  const LeaseEntry kept = killed.Entry(A + 2);
  EXPECT_TRUE(kept.state == LEASE_RESERVED && kept.client == X && HostName(kept) == "taro");
  EXPECT_EQ(killed.table.ReleaseAddress(A + 2, X), 0);
  EXPECT_EQ(killed.table.OfferAddress("taro", X), A + 2);
}

TEST(LeaseTable, InitAgainWithTheSamePoolReloadsTheDatabase) {
  Harness h;
  ASSERT_EQ(h.Init(), 0);
  ASSERT_EQ(h.table.ConfirmRequest(A, "x", X), 1);
  h.StoreDatabase(A, A + 9, {Stored(A + 2, Y, LEASE_RESERVED, 0, "y")});
  ASSERT_EQ(h.Init(), 0);
  EXPECT_EQ(h.Entry(A).state, LEASE_FREE);
  EXPECT_EQ(h.Entry(A + 2).state, LEASE_RESERVED);

  // A file for another pool is ignored whole.
  h.StoreDatabase(A, A + 20, {Stored(A + 3, Y, LEASE_RESERVED, 0, "y")});
  LeaseTableSettings wider = DefaultSettings();
  wider.EndIPAddr = "192.168.0.29";
  ASSERT_EQ(h.Init(wider), 0);
  ASSERT_EQ(h.Entries().size(), 20u);
  EXPECT_EQ(h.Entry(A + 3).state, LEASE_FREE);
  EXPECT_EQ(h.Entry(A + 2).state, LEASE_FREE);
}

TEST(LeaseTableShutdown, SavesHeldEntriesForTheNextStart) {
  Harness h;
  ASSERT_EQ(h.Init(), 0);
  ASSERT_EQ(h.table.OfferAddress("x", X), A);
  ASSERT_EQ(h.table.ConfirmRequest(A + 4, "y", Y), 1);
  ASSERT_EQ(h.table.MarkConflict(A + 7, kConflictHostName), 1);
  const auto before = h.Entries();
  h.table.LeaseTableShutdown();
  EXPECT_FALSE(h.table.IsReady());

  const auto file = ParseLeaseDatabase(h.files.files.at(kDatabasePath));
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->poolStart, A);
  EXPECT_EQ(file->poolEnd, A + 9);
  ASSERT_EQ(file->leases.size(), 3u);

  Harness next;
  next.files.files = h.files.files;
  ASSERT_EQ(next.Init(), 0);
  const auto after = next.Entries();
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].state, before[i].state) << i;
    if (!IsHeld(before[i].state)) continue;
    EXPECT_EQ(after[i].expiry, before[i].expiry) << i;
    EXPECT_TRUE(after[i].client == before[i].client) << i;
    EXPECT_EQ(HostName(after[i]), HostName(before[i])) << i;
  }
}

TEST(LeaseTableShutdown, LeavesTheFileAloneWhenNotReady) {
  const std::string old = "C0A8000A\r\nC0A80013\r\n";
  {
    Harness h;
    h.files.files[kDatabasePath] = old;
    LeaseTableSettings s = DefaultSettings();
    s.LeaseTime = 59;
    EXPECT_EQ(h.Init(s), -1);
    h.table.LeaseTableShutdown();
    EXPECT_EQ(h.files.writes, 0);
    EXPECT_EQ(h.files.files[kDatabasePath], old);
  }
  {
    Harness h;
    h.files.files[kDatabasePath] = old;
    ASSERT_EQ(h.Init(), 0);
    LeaseTableSettings reversed = DefaultSettings();
    reversed.StartIPAddr = "192.168.0.30";
    EXPECT_EQ(h.Init(reversed), -1);
    h.table.LeaseTableShutdown();
    EXPECT_EQ(h.files.writes, 0);
  }
}

TEST(LeaseTableShutdown, FailedSaveKeepsThePreviousFileAndTheJournal) {
  Harness h;
  const std::string old = "C0A8000A\r\nC0A80013\r\nC0A8000C,00,20000000,00000000,kept\r\n";
  h.files.files[kDatabasePath] = old;
  h.files.failWrites.insert(kDatabasePath);
  ASSERT_EQ(h.Init(), 0);
  ASSERT_EQ(h.table.ConfirmRequest(A, "x", X), 1);
  h.table.LeaseTableShutdown();
  EXPECT_EQ(h.files.files[kDatabasePath], old);
  EXPECT_FALSE(h.table.IsReady());
  EXPECT_NE(h.problems.All().find("cannot write /win/TAMRIX.db"), std::string::npos);

  // The binding outlives the failed save: the next start finds it in the journal.
  Harness next;
  next.files.files = h.files.files;
  ASSERT_EQ(next.Init(), 0);
  EXPECT_EQ(next.Entry(A).state, LEASE_BOUND);
  EXPECT_EQ(next.Entry(A + 2).state, LEASE_RESERVED);
}

// A process killed without its stop keeps every change it announced: the journal's lines were
// written before each operation returned. A power cut keeps what the last sync covered.
TEST(LeaseJournal, AKilledServerLosesNothingItAnnounced) {
  Harness h;
  h.StoreDatabase(A, A + 9, {Stored(A + 9, Y, LEASE_RESERVED, 0, "printer")});
  ASSERT_EQ(h.Init(), 0);
  ASSERT_EQ(h.table.ConfirmRequest(A, "x", X), 1);
  ASSERT_EQ(h.table.ConfirmRequest(A + 1, "v", Client(5)), 1);
  ASSERT_EQ(h.table.ReleaseAddress(A + 1, Client(5)), 1);
  ASSERT_EQ(h.table.MarkConflict(A + 5, kConflictHostName), 1);
  ASSERT_EQ(h.table.ConfirmRequest(A + 6, "d", Client(6)), 1);
  ASSERT_EQ(h.table.DeclineAddress(A + 6, Client(6)), 1);
  h.table.MaintenancePass();  // syncs
  ASSERT_EQ(h.table.ConfirmRequest(A + 2, "z", Client(3)), 1);
  const auto announced = h.Entries();

  Harness killed;
  killed.files.files = h.files.files;
  killed.files.unsynced = h.files.unsynced;  // the page cache outlives the process
  ASSERT_EQ(killed.Init(), 0);
  const auto restored = killed.Entries();
  for (std::size_t i = 0; i < announced.size(); ++i) {
    EXPECT_EQ(restored[i].state, announced[i].state) << i;
    if (!IsHeld(announced[i].state)) continue;
    EXPECT_TRUE(restored[i].client == announced[i].client) << i;
    EXPECT_EQ(HostName(restored[i]), HostName(announced[i])) << i;
    EXPECT_EQ(restored[i].expiry, announced[i].expiry) << i;
  }
  // The next client is not handed an address a PC still holds.
  EXPECT_EQ(killed.table.OfferAddress("w", Client(4)), A + 1);

  Harness powerCut;
  powerCut.files.files = h.files.files;  // the unsynced line is gone
  ASSERT_EQ(powerCut.Init(), 0);
  EXPECT_EQ(powerCut.Entry(A).state, LEASE_BOUND);
  EXPECT_EQ(powerCut.Entry(A + 5).state, LEASE_RESERVED);
  EXPECT_EQ(powerCut.Entry(A + 2).state, LEASE_FREE);
}

// A crash in the middle of an append leaves part of a line; it is ignored, and the next line
// still starts on a line of its own.
TEST(LeaseJournal, ATornLastLineIsIgnoredAndEndedBeforeTheNextOne) {
  Harness h;
  ASSERT_EQ(h.Init(), 0);
  ASSERT_EQ(h.table.ConfirmRequest(A, "x", X), 1);
  h.files.files[kJournalPath] = h.files.ReadFile(kJournalPath).value() + "C0A8000B,07,01,00";
  h.files.unsynced.clear();

  Harness next;
  next.files.files = h.files.files;
  ASSERT_EQ(next.Init(), 0);
  EXPECT_EQ(next.Entry(A).state, LEASE_BOUND);
  EXPECT_EQ(next.Entry(A + 1).state, LEASE_FREE);
  ASSERT_EQ(next.table.ConfirmRequest(A + 3, "y", Y), 1);
  const auto journal = ParseLeaseJournal(next.files.ReadFile(kJournalPath).value());
  ASSERT_TRUE(journal.has_value());
  ASSERT_EQ(journal->leases.size(), 2u);
  EXPECT_EQ(journal->leases.back().address, A + 3);
}

// The journal does not grow without end: past a few times the table's size TAMRIX.db is written
// whole and the journal starts again, and nothing is lost on the way.
TEST(LeaseJournal, ALongJournalIsFoldedIntoTheDatabase) {
  Harness h;
  ASSERT_EQ(h.Init(), 0);
  for (int i = 0; i < 60; ++i) {
    ASSERT_EQ(h.table.ConfirmRequest(A + i % 10, "x", Client(static_cast<std::uint8_t>(i % 10))),
              1);
    if (i % 10 != 9) {
      ASSERT_EQ(h.table.ReleaseAddress(A + i % 10, kNoClient), 1);
    }
  }
  EXPECT_EQ(h.files.files.count(kDatabasePath), 0u);
  h.table.MaintenancePass();
  EXPECT_EQ(h.files.files.count(kJournalPath), 0u);
  const auto saved = ReadLeaseDatabase(h.files, LeaseFiles::Beside(kDatabasePath));
  ASSERT_EQ(saved.file.leases.size(), 1u);
  EXPECT_EQ(saved.file.leases[0].address, A + 9);
}

// An unreadable TAMRIX.db (damaged, or another program's) is never overwritten: it is moved aside
// and said, and the start goes on with an empty table. A byte-order mark is no damage.
TEST(LeaseJournal, AnUnreadableDatabaseIsMovedAsideAndABomIsRead) {
  Harness h;
  h.files.files[kDatabasePath] = "not a lease database\r\n";
  h.files.files["/win/TAMRIX.db.bad"] = "an older one";
  h.files.files["/win/TAMRIX.db.partial-Ab12Cd"] = "cut short";
  ASSERT_EQ(h.Init(), 0);
  EXPECT_EQ(h.files.files.count(kDatabasePath), 0u);
  EXPECT_EQ(h.files.files.count("/win/TAMRIX.db.partial-Ab12Cd"), 0u);
  EXPECT_EQ(h.files.files["/win/TAMRIX.db.bad"], "an older one");
  EXPECT_EQ(h.files.files["/win/TAMRIX.db.bad.2"], "not a lease database\r\n");
  EXPECT_NE(h.problems.All().find("moved to /win/TAMRIX.db.bad.2"), std::string::npos);

  Harness bom;
  bom.files.files[kDatabasePath] =
      "\xEF\xBB\xBF" +
      FormatLeaseDatabase(A, A + 9, std::vector{Stored(A + 4, X, LEASE_BOUND, kT0, "x")});
  ASSERT_EQ(bom.Init(), 0);
  EXPECT_EQ(bom.Entry(A + 4).state, LEASE_BOUND);
  EXPECT_TRUE(bom.problems.lines.empty());

  Harness stuck;
  stuck.files.files[kDatabasePath] = "garbage";
  stuck.files.failWrites.insert(kDatabasePath);
  EXPECT_EQ(stuck.Init(), -1);
  EXPECT_EQ(stuck.table.InitProblem(), "/win/TAMRIX.db cannot be read and cannot be moved aside");
  EXPECT_EQ(stuck.files.files[kDatabasePath], "garbage");
}

// A save that fails is said once, tried again at the next pass, and its success said too.
TEST(LeaseJournal, AFailedSaveIsReportedAndRetried) {
  Harness h;
  ASSERT_EQ(h.Init(), 0);
  h.files.failWrites.insert(kJournalPath);
  ASSERT_EQ(h.table.ConfirmRequest(A, "x", X), 1);
  ASSERT_EQ(h.table.ConfirmRequest(A + 1, "y", Y), 1);
  ASSERT_EQ(h.problems.lines.size(), 1u);
  EXPECT_NE(h.problems.lines[0].find("cannot write /win/TAMRIX.jnl"), std::string::npos);
  // The save whole is tried at once: TAMRIX.db holds both bindings although the journal failed.
  const auto saved = ReadLeaseDatabase(h.files, LeaseFiles::Beside(kDatabasePath));
  EXPECT_EQ(saved.file.leases.size(), 2u);

  h.files.failWrites = {kDatabasePath, kJournalPath};
  ASSERT_EQ(h.table.ConfirmRequest(A + 2, "z", Client(3)), 1);
  h.table.MaintenancePass();
  ASSERT_EQ(h.problems.lines.size(), 2u);
  EXPECT_NE(h.problems.lines[1].find("cannot write /win/TAMRIX.db"), std::string::npos);
  h.files.failWrites.clear();
  h.table.MaintenancePass();
  ASSERT_EQ(h.problems.lines.size(), 3u);
  EXPECT_NE(h.problems.lines[2].find("written again"), std::string::npos);
  EXPECT_EQ(ReadLeaseDatabase(h.files, LeaseFiles::Beside(kDatabasePath)).file.leases.size(), 3u);
}

}  // namespace
}  // namespace tamrix
