#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_reporter.h"
#include "engine/status_publication.h"
#include "tests/engine/dhcp_packets.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_problem_log.h"
#include "tests/fakes/fake_conflict_probe.h"
#include "tests/fakes/fake_file_system.h"
#include "tests/fakes/fake_host_lookup.h"
#include "tests/fakes/fake_udp_socket.h"
#include "tests/fakes/recording_event_sink.h"

namespace tamrix {
namespace {

using testing::FakeClock;
using testing::FakeFileSystem;
using testing::FakeHostLookup;
using testing::FakeUdpNetwork;
using testing::PacketBuilder;
using testing::RecordingEventSink;

constexpr const char* kWindows = "/win";
constexpr const char* kIni = "/win/TAMRIX.ini";
constexpr const char* kDb = "/win/TAMRIX.db";
constexpr const char* kClientList = "/win/TAMRIX.db2";
constexpr std::uint32_t kServer = 0xC0A80001;
constexpr std::uint32_t kPoolStart = 0xC0A8000A;

// Records reports only while enabled, as the real reporter writes them, and every switch.
class RecordingReporter final : public EngineReporter {
 public:
  explicit RecordingReporter(std::vector<std::string>& steps) : steps_(steps) {}
  void Report(EventId id, const ClientId* client, std::optional<std::uint32_t> address) override {
    std::lock_guard lock(mutex_);
    if (enabled_) sink.Report(id, client, address);
  }
  void SetReportsEnabled(bool enabled) override {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
    steps_.push_back(enabled ? "reports on" : "reports off");
  }
  int CloseEventSource() override {
    std::lock_guard lock(mutex_);
    steps_.push_back("close source");
    return 1;
  }
  RecordingEventSink sink;

 private:
  std::mutex mutex_;
  std::vector<std::string>& steps_;
  bool enabled_ = false;
};

class FakePublication final : public StatusPublication {
 public:
  explicit FakePublication(std::vector<std::string>& steps) : steps_(steps) {}
  int StartStatusPublication(LeaseTable& table) override {
    steps_.push_back("publication start");
    table_ = &table;
    return fail ? 0 : 1;
  }
  int StopStatusPublication() override {
    steps_.push_back("publication stop");
    return 1;
  }
  bool fail = false;

 private:
  std::vector<std::string>& steps_;
  LeaseTable* table_ = nullptr;
};

// A probe that holds the first echo until the test lets it go, so a request can be caught in
// the middle of its handling.
class GatedProbe final : public ConflictProbe {
 public:
  int SendEcho(std::uint32_t, int) override {
    std::unique_lock lock(mutex_);
    entered_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return released_; });
    return 0;
  }
  bool WaitEntered() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return entered_; });
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool entered_ = false;
  bool released_ = false;
};

std::string Settings(const std::string& extra) {
  return "[TAMRIX]\r\nStartIPAddr=192.168.0.10\r\nEndIPAddr=192.168.0.20\r\n"
         "SubnetMask=255.255.255.0\r\nLeaseTime=3600\r\n" + extra;
}

std::vector<std::uint8_t> Discover(std::uint8_t lastMacByte = 0x56) {
  std::array<std::uint8_t, 6> mac = testing::kTestMac;
  mac[5] = lastMacByte;
  return PacketBuilder().Mac(mac).Type(DHCPDISCOVER).PadTo(300).Build();
}

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    hosts.thisHost = {kServer};
    files.files[kIni] = Settings("OptUseLog=1\r\n");
  }

  Engine& MakeEngine(ConflictProbe* probeOverride = nullptr) {
    engine = std::make_unique<Engine>(EngineEnvironment{
        kWindows, files, clock, hosts, probeOverride ? *probeOverride : probe, network, reporter,
        publication, /*runMaintenanceThread=*/false, problems});
    return *engine;
  }

  std::vector<EventId> Ids() { return reporter.sink.Ids(); }

  std::vector<std::string> steps;
  FakeFileSystem files;
  FakeClock clock;
  FakeHostLookup hosts;
  testing::FakeConflictProbe probe;
  FakeUdpNetwork network;
  RecordingReporter reporter{steps};
  FakePublication publication{steps};
  testing::RecordingProblemLog problems;
  std::unique_ptr<Engine> engine;
};

TEST_F(EngineTest, ServesUntilStopThenSavesAndClosesInOrder) {
  Engine& e = MakeEngine();
  ASSERT_EQ(e.EngineStart(), 1);
  EXPECT_TRUE(network.IsOpen());

  network.Deliver(Discover(), /*interfaceIndex=*/7);
  ASSERT_TRUE(network.WaitForSends(1));
  const auto sent = network.Sends()[0];
  EXPECT_EQ(sent.destination, 0xFFFFFFFFu);
  EXPECT_EQ(sent.port, 68);
  EXPECT_EQ(sent.interfaceIndex, 7);  // the reply leaves by the request's interface
  EXPECT_EQ(sent.bytes.size(), kDhcpMessageSize);
  EXPECT_EQ(testing::BigEndianAt(sent.bytes, dhcp_offset::kYiaddr), kPoolStart);

  EXPECT_EQ(e.EngineStop(), 1);
  EXPECT_FALSE(network.IsOpen());
  EXPECT_FALSE(e.IsRunning());
  EXPECT_EQ(Ids(), (std::vector<EventId>{EV_SERVER_START, EV_DISCOVER, EV_OFFER, EV_SERVER_STOP}));
  EXPECT_EQ(steps, (std::vector<std::string>{"reports on", "publication start", "publication stop",
                                             "reports off", "close source"}));
  EXPECT_TRUE(files.files.count(kDb));  // the table was saved on the way down
}

TEST_F(EngineTest, WithoutOptUseLogNothingIsReported) {
  files.files[kIni] = Settings("");
  Engine& e = MakeEngine();
  ASSERT_EQ(e.EngineStart(), 1);
  network.Deliver(Discover());
  ASSERT_TRUE(network.WaitForSends(1));
  e.EngineStop();
  EXPECT_TRUE(reporter.sink.events.empty());
  EXPECT_EQ(steps, (std::vector<std::string>{"publication start", "publication stop",
                                             "reports off", "close source"}));
}

// Each start failure must leave the engine stopped, reports off, the source closed, the socket
// closed, the publication stopped if it ran, and TAMRIX.db untouched.
TEST_F(EngineTest, FailedStartsAreUndone) {
  struct Case {
    const char* name;
    std::string ini;
    bool publicationFails;
    int socketError;
    std::vector<std::string> steps;
    std::string why;  // what the administrator is told
  };
  const Case cases[] = {
      {"settings refused", "[TAMRIX]\r\nOptUseLog=1\r\n", false, 0,
       {"reports on", "reports off", "close source"},
       "cannot start: settings refused: StartIPAddr is not set in /win/TAMRIX.ini"},
      {"lease time refused", Settings("OptUseLog=1\r\n") + "LeaseTime=30\r\n", false, 0,
       {"reports on", "reports off", "close source"},
       "cannot start: settings refused: LeaseTime 30 is below 60 seconds in /win/TAMRIX.ini"},
      {"publication fails", Settings("OptUseLog=1\r\n"), true, 0,
       {"reports on", "publication start", "reports off", "close source"},
       "cannot start: the shared status block cannot be created"},
      // The port comes first: a server that cannot have it leaves the running one's block be.
      {"port in use", Settings("OptUseLog=1\r\n"), false, EADDRINUSE,
       {"reports on", "reports off", "close source"},
       "cannot start: UDP port 67: Address already in use"},
      {"no permission", Settings("OptUseLog=1\r\n"), false, EACCES,
       {"reports on", "reports off", "close source"},
       "cannot start: UDP port 67: Permission denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    steps.clear();
    files.files.clear();
    files.files[kIni] = c.ini;
    files.writes = 0;
    problems.lines.clear();
    publication.fail = c.publicationFails;
    network.openError = c.socketError;
    Engine& e = MakeEngine();

    EXPECT_EQ(e.EngineStart(), 0);
    EXPECT_FALSE(e.IsRunning());
    EXPECT_FALSE(network.IsOpen());
    EXPECT_EQ(steps, c.steps);
    EXPECT_EQ(files.writes, 0);
    EXPECT_TRUE(Ids().empty());
    EXPECT_EQ(problems.lines, std::vector<std::string>{c.why});
    if (c.socketError != 0) {
      EXPECT_EQ(e.LastSocketError(), c.socketError);
    }
  }
}

TEST_F(EngineTest, StartsAfterTheSocketBecomesFree) {
  network.openError = EADDRINUSE;
  Engine& e = MakeEngine();
  ASSERT_EQ(e.EngineStart(), 0);
  network.openError = 0;
  ASSERT_EQ(e.EngineStart(), 1);
  network.Deliver(Discover());
  EXPECT_TRUE(network.WaitForSends(1));
  e.EngineStop();
}

// Stop must wake the blocked receive, not wait for traffic, and nothing is handled afterwards.
TEST_F(EngineTest, StopEndsABlockedReceiveAndNothingIsHandledAfter) {
  Engine& e = MakeEngine();
  ASSERT_EQ(e.EngineStart(), 1);
  ASSERT_TRUE(network.WaitForReceives(1));
  e.EngineStop();
  EXPECT_FALSE(network.IsOpen());
  network.Deliver(Discover());
  EXPECT_EQ(network.Queued(), 1u);
  EXPECT_TRUE(network.Sends().empty());
  EXPECT_EQ(Ids(), (std::vector<EventId>{EV_SERVER_START, EV_SERVER_STOP}));
}

TEST_F(EngineTest, PauseHoldsRequestsUntilContinue) {
  Engine& e = MakeEngine();
  ASSERT_EQ(e.EngineStart(), 1);
  EXPECT_EQ(e.EnginePause(), 1);
  network.Deliver(Discover());
  // Pause returned with the thread held, so the datagram must still be waiting.
  EXPECT_EQ(network.Queued(), 1u);
  EXPECT_TRUE(network.Sends().empty());
  EXPECT_EQ(e.EnginePause(), 1);  // a second pause changes nothing

  EXPECT_EQ(e.EngineContinue(), 1);
  ASSERT_TRUE(network.WaitForSends(1));
  EXPECT_EQ(e.EngineContinue(), 1);
  network.Deliver(Discover(0x57));
  EXPECT_TRUE(network.WaitForSends(2));
  e.EngineStop();
}

TEST_F(EngineTest, StopFromPauseEndsTheThread) {
  Engine& e = MakeEngine();
  ASSERT_EQ(e.EngineStart(), 1);
  e.EnginePause();
  network.Deliver(Discover());
  EXPECT_EQ(e.EngineStop(), 1);
  EXPECT_FALSE(e.IsRunning());
  EXPECT_FALSE(network.IsOpen());
  EXPECT_TRUE(network.Sends().empty());
  EXPECT_EQ(Ids(), (std::vector<EventId>{EV_SERVER_START, EV_SERVER_STOP}));
}

// Pausing while a request is being handled lets it finish: its reply is out before pause returns.
TEST_F(EngineTest, PauseLetsTheRequestInHandFinish) {
  files.files[kIni] = Settings("OptUseLog=1\r\nOptUsePing=1\r\nOptPingTry=1\r\n");
  GatedProbe gated;
  Engine& e = MakeEngine(&gated);
  ASSERT_EQ(e.EngineStart(), 1);
  network.Deliver(Discover());
  ASSERT_TRUE(gated.WaitEntered());

  auto paused = std::async(std::launch::async, [&] {
    e.EnginePause();
    return network.Sends().size();
  });
  ASSERT_TRUE(network.WaitForWake());
  gated.Release();
  EXPECT_EQ(paused.get(), 1u);
  e.EngineContinue();
  e.EngineStop();
}

// Receive errors and over-long datagrams are passed over; only stop ends the thread.
TEST_F(EngineTest, ReceiveErrorsAndLongDatagramsDoNotEndTheServer) {
  Engine& e = MakeEngine();
  ASSERT_EQ(e.EngineStart(), 1);
  for (int error : {EINTR, ECONNREFUSED, ENOBUFS, ENOMEM, EHOSTUNREACH, ENETDOWN, EMSGSIZE, EIO,
                    EBADF, ENOTCONN}) {
    network.DeliverError(error);
  }
  std::vector<std::uint8_t> longDiscover = Discover();
  longDiscover.resize(1400, 0);
  network.Deliver(longDiscover);
  ASSERT_TRUE(network.WaitForSends(1));
  EXPECT_EQ(testing::BigEndianAt(network.Sends()[0].bytes, dhcp_offset::kYiaddr), kPoolStart);
  // A run of failures backs off on the injected clock instead of spinning.
  EXPECT_FALSE(clock.sleeps.empty());
  EXPECT_TRUE(e.IsRunning());
  e.EngineStop();
}

TEST_F(EngineTest, AFailedSendIsNotReportedAsSent) {
  network.failSends = true;
  Engine& e = MakeEngine();
  ASSERT_EQ(e.EngineStart(), 1);
  network.Deliver(Discover());
  ASSERT_TRUE(network.WaitForReceives(2));  // the thread has finished with the DISCOVER
  e.EngineStop();
  EXPECT_EQ(Ids(), (std::vector<EventId>{EV_SERVER_START, EV_DISCOVER, EV_SERVER_STOP}));
}

// The allowed-client list is read at start only when CheckClient is set.
TEST_F(EngineTest, ClientCheckUsesTheListReadAtStart) {
  struct Case {
    const char* name;
    std::string checkClient;
    bool listed;
    bool served;
  };
  const Case cases[] = {
      {"check off", "CheckClient=0\r\n", false, true},
      {"listed", "CheckClient=1\r\n", true, true},
      {"not listed", "CheckClient=1\r\n", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files.files[kIni] = Settings("OptUseLog=1\r\n" + c.checkClient);
    files.files.erase(kClientList);
    if (c.listed) files.files[kClientList] = "07,01,00,A0,C9,12,34,56,office PC\r\n";
    FakeUdpNetwork fresh;
    RecordingReporter reporterHere{steps};
    Engine e(EngineEnvironment{kWindows, files, clock, hosts, probe, fresh, reporterHere,
                               publication, false});
    ASSERT_EQ(e.EngineStart(), 1);
    fresh.Deliver(Discover());
    ASSERT_TRUE(fresh.WaitForReceives(2));
    e.EngineStop();
    EXPECT_EQ(fresh.Sends().size(), c.served ? 1u : 0u);
    const auto ids = reporterHere.sink.Ids();
    EXPECT_EQ(std::count(ids.begin(), ids.end(), EV_CLIENT_REJECTED), c.served ? 0 : 1);
  }
}

// The operator's calls come from another thread at any moment, also in the middle of starts and
// stops, and answer only while the engine serves, paused or not.
TEST_F(EngineTest, OperatorCallsFromAnotherThread) {
  Engine& e = MakeEngine();
  const ClientId client = MakeClientId(1, testing::kTestMac.data(), testing::kTestMac.size());
  {
    std::jthread operatorThread([&](std::stop_token stop) {
      for (OperatorReport report; !stop.stop_requested();) {
        if (e.FetchOperatorReport(report) == 1) {
          EXPECT_EQ(report.pool.Total(), 11);
        }
        e.ReserveLease(kPoolStart + 10, client, "pc");
        e.AcknowledgeRogueServer(kServer);
      }
    });
    for (int round = 0; round < 20; ++round) {
      ASSERT_EQ(e.EngineStart(), 1);
      e.EnginePause();
      e.EngineContinue();
      e.EngineStop();
    }
  }
  OperatorReport report;
  EXPECT_EQ(e.FetchOperatorReport(report), 0);
  EXPECT_EQ(e.ReserveLease(kPoolStart, client, "pc"), ReserveOutcome::kNoService);

  ASSERT_EQ(e.EngineStart(), 1);
  network.Deliver(PacketBuilder().Type(DHCPDISCOVER).Giaddr(0x7F000001).PadTo(300).Build());
  network.Deliver(Discover(0x57));
  ASSERT_TRUE(network.WaitForSends(1));
  e.EnginePause();
  ASSERT_EQ(e.FetchOperatorReport(report), 1);
  EXPECT_EQ(report.pool.offered, 1);
  ASSERT_EQ(report.recentRefusals.size(), 1u);
  EXPECT_EQ(report.recentRefusals[0].reason, RefusalReason::kBadRelayAddress);
  e.EngineStop();
}

}  // namespace
}  // namespace tamrix
