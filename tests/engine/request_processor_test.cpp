#include "engine/request_processor.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "common/address.h"
#include "engine/conflict_probe.h"
#include "engine/lease_table.h"
#include "engine/refusal_log.h"
#include "storage/allowed_client_list.h"
#include "storage/lease_database.h"
#include "storage/server_settings.h"
#include "tests/engine/dhcp_packets.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_file_system.h"
#include "tests/fakes/fake_host_lookup.h"
#include "tests/fakes/recording_event_sink.h"
#include "tests/fakes/recording_problem_log.h"

namespace tamrix {
namespace {

using testing::Be32;
using testing::Be32Pair;
using testing::FakeClock;
using testing::FakeFileSystem;
using testing::FakeHostLookup;
using testing::PacketBuilder;
using testing::RecordedEvent;
using testing::RecordingEventSink;
using testing::RecordingProblemLog;
using testing::WalkOptions;
namespace off = dhcp_offset;
namespace opt = dhcp_option;

const std::string kDatabasePath = "/win/TAMRIX.db";
constexpr std::uint32_t kFirst = 0xC0A80064;    // 192.168.0.100, lowest pool address
constexpr std::uint32_t kSecond = 0xC0A80065;   // 192.168.0.101
constexpr std::uint32_t kLast = 0xC0A8006E;     // 192.168.0.110
constexpr std::uint32_t kOutside = 0xC0A80032;  // 192.168.0.50
constexpr std::uint32_t kServer = 0xC0A80001;   // this host, on the pool's subnet
constexpr std::uint32_t kRelay = 0x0A000001;
constexpr const char* kClientA = "01:00A0C9000001";
constexpr const char* kClientB = "01:00A0C9000002";

std::array<std::uint8_t, 6> Mac(std::uint8_t n) {
  return {0x00, 0xA0, 0xC9, 0x00, 0x00, n};
}
ClientId Id(std::uint8_t n) {
  const auto mac = Mac(n);
  return MakeClientId(1, mac.data(), mac.size());
}

LeaseTableSettings PoolSettings() {
  LeaseTableSettings s;
  s.StartIPAddr = "192.168.0.100";
  s.EndIPAddr = "192.168.0.110";
  s.SubnetMask = "255.255.255.0";
  s.Gateway = "192.168.0.1";
  s.DNSAddr1 = "192.168.0.2";
  s.DNSAddr2 = "192.168.0.3";
  s.DomainName = "example";
  s.LeaseTime = 3600;
  s.ExtendTime = 600;
  return s;
}

LeaseEntry Reservation(std::uint32_t address, const ClientId& client, std::string_view name) {
  LeaseEntry e;
  e.state = LEASE_RESERVED;
  e.address = address;
  e.client = client;
  SetHostName(e, name);
  return e;
}

RecordedEvent Ev(EventId id, std::string client = {}, std::string address = {}) {
  return {id, std::move(client), std::move(address)};
}

// A scripted client machine: requests built for one hardware address.
PacketBuilder From(std::uint8_t n) {
  const auto mac = Mac(n);
  return PacketBuilder().Mac(mac).PadTo(300);
}

class RequestProcessorTest : public ::testing::Test {
 protected:
  void Start(const LeaseTableSettings& pool = PoolSettings()) {
    hosts.thisHost = {0x7F000001, kServer};
    table.reset();  // one table at a time owns the journal
    table = std::make_unique<LeaseTable>(LeaseTableEnvironment{
        clock, hosts, files, events, probe, settings, kDatabasePath, false, problems});
    ASSERT_EQ(table->LeaseTableInit(pool), 0);
    refusals = std::make_unique<RefusalLog>(clock);
    processor = std::make_unique<RequestProcessor>(*table, settings, allowed, events, *refusals);
  }
  void Reserve(std::vector<LeaseEntry> entries) {
    files.files[kDatabasePath] = FormatLeaseDatabase(kFirst, kLast, entries);
  }

  // What the server thread does: handle, send, report after sending.
  std::optional<Reply> Exchange(const PacketBuilder& packet) {
    auto reply = processor->HandleRequest(packet.Build());
    if (reply) processor->ReportSent(*reply);
    return reply;
  }
  std::optional<Reply> Discover(std::uint8_t client) {
    return Exchange(From(client).Type(DHCPDISCOVER).HostName("pc"));
  }
  std::optional<Reply> Request(std::uint8_t client, std::uint32_t address) {
    return Exchange(From(client).Type(DHCPREQUEST).Requested(address).HostName("pc"));
  }
  const LeaseEntry* Entry(std::uint32_t address) {
    const int n = table->CopyLeaseTable(copy_);
    for (int i = 0; i < n; ++i) {
      if (copy_[i].address == address) return &copy_[i];
    }
    return nullptr;
  }

  FakeClock clock;
  FakeHostLookup hosts;
  FakeFileSystem files;
  RecordingEventSink events;
  RecordingProblemLog problems;
  SilentProbe probe;
  ServerSettings settings;
  AllowedClientList allowed;
  std::unique_ptr<LeaseTable> table;
  std::unique_ptr<RefusalLog> refusals;
  std::unique_ptr<RequestProcessor> processor;

 private:
  std::array<LeaseEntry, kMaxPoolSize> copy_{};
};

std::uint8_t MessageType(const Reply& reply) {
  const auto options = WalkOptions(reply.bytes);
  const auto* type = options.Find(opt::kMessageType);
  return type ? type->data.at(0) : 0;
}
std::uint32_t Yiaddr(const Reply& reply) {
  return testing::BigEndianAt(reply.bytes, off::kYiaddr);
}

TEST_F(RequestProcessorTest, DiscoverThenRequestGetsOfferThenAck) {
  Start();
  const auto offer = Discover(1);
  ASSERT_TRUE(offer);
  EXPECT_EQ(MessageType(*offer), DHCPOFFER);
  EXPECT_EQ(Yiaddr(*offer), kFirst);
  EXPECT_EQ(offer->destination, kBroadcastAddress);
  EXPECT_EQ(offer->port, kClientPort);
  const auto options = WalkOptions(offer->bytes);
  EXPECT_EQ(options.Find(opt::kServerIdentifier)->data, Be32(kServer));
  EXPECT_EQ(options.Find(opt::kSubnetMask)->data, Be32(0xFFFFFF00));

  const auto ack = Request(1, kFirst);
  ASSERT_TRUE(ack);
  EXPECT_EQ(MessageType(*ack), DHCPACK);
  EXPECT_EQ(Yiaddr(*ack), kFirst);
  EXPECT_EQ(ack->destination, kBroadcastAddress);
  EXPECT_EQ(Entry(kFirst)->state, LEASE_BOUND);
  EXPECT_EQ(events.events,
            (std::vector<RecordedEvent>{
                Ev(EV_DISCOVER, kClientA), Ev(EV_OFFER, kClientA, "192.168.0.100"),
                Ev(EV_REQUEST, kClientA, "192.168.0.100"), Ev(EV_ACK, kClientA, "192.168.0.100")}));
}

TEST_F(RequestProcessorTest, RequestedOptionsComeFromTheTable) {
  Start();
  const auto offer = Exchange(
      From(1).Type(DHCPDISCOVER).Option(opt::kParameterRequestList, {1, 3, 6, 15, 44, 46}));
  ASSERT_TRUE(offer);
  const auto options = WalkOptions(offer->bytes);
  EXPECT_EQ(options.Codes(), (std::vector<std::uint8_t>{53, 1, 51, 58, 59, 54, 3, 6, 15, 46}));
  EXPECT_EQ(options.Find(3)->data, Be32(0xC0A80001));
  EXPECT_EQ(options.Find(6)->data, Be32Pair(0xC0A80002, 0xC0A80003));
  EXPECT_EQ(options.Find(15)->data,
            (std::vector<std::uint8_t>{'e', 'x', 'a', 'm', 'p', 'l', 'e', 0}));
}

TEST_F(RequestProcessorTest, LeaseTimeOptionValues) {
  struct Case {
    std::int32_t leaseTime;
    std::uint32_t lease, renewal, rebinding;
  };
  for (const Case c : {Case{3600, 3600, 1800, 3150}, Case{60, 60, 30, 53},
                       Case{-1, 4294967295u, 536870910u, 536870911u}}) {
    LeaseTableSettings pool = PoolSettings();
    pool.LeaseTime = c.leaseTime;
    Start(pool);
    const auto offer = Discover(1);
    ASSERT_TRUE(offer);
    const auto options = WalkOptions(offer->bytes);
    EXPECT_EQ(options.Find(opt::kLeaseTime)->data, Be32(c.lease)) << c.leaseTime;
    EXPECT_EQ(options.Find(opt::kRenewalTime)->data, Be32(c.renewal)) << c.leaseTime;
    EXPECT_EQ(options.Find(opt::kRebindingTime)->data, Be32(c.rebinding)) << c.leaseTime;
  }
}

TEST_F(RequestProcessorTest, OptSrvAddrSendsAllOnesAsServerIdentifier) {
  settings.OptSrvAddr = 1;
  Reserve({Reservation(kSecond, Id(2), "printer")});
  Start();
  const int lookupsAtStart = hosts.thisHostLookups;
  const auto offer = Discover(1);
  ASSERT_TRUE(offer);
  EXPECT_EQ(WalkOptions(offer->bytes).Find(opt::kServerIdentifier)->data, Be32(0xFFFFFFFF));
  const auto bootp = Exchange(From(2));
  ASSERT_TRUE(bootp);
  EXPECT_EQ(testing::BigEndianAt(bootp->bytes, off::kSiaddr), 0xFFFFFFFFu);
  EXPECT_EQ(hosts.thisHostLookups, lookupsAtStart);
}

TEST_F(RequestProcessorTest, Destinations) {
  struct Case {
    const char* what;
    std::uint32_t ciaddr, giaddr;
    std::uint16_t flags;
    std::uint32_t destination;
    std::uint16_t port;
    std::uint32_t replyGiaddr;
    std::uint16_t replyFlags;
  };
  const Case cases[] = {
      {"broadcast", 0, 0, 0x8000, kBroadcastAddress, 68, 0, 0},
      {"ciaddr", kFirst, 0, 0x8000, kFirst, 68, 0, 0},
      {"relay agent on port 67 keeps giaddr and flags", 0, kRelay, 0x8000, kRelay, 67, kRelay,
       0x8000},
      {"ciaddr wins over the relay", kFirst, kRelay, 0x8000, kFirst, 68, 0, 0x8000},
  };
  for (const auto& c : cases) {
    Start();
    const auto reply = Exchange(From(1)
                                    .Type(DHCPREQUEST)
                                    .Requested(kFirst)
                                    .Ciaddr(c.ciaddr)
                                    .Giaddr(c.giaddr)
                                    .Field16(off::kFlags, c.flags));
    ASSERT_TRUE(reply) << c.what;
    EXPECT_EQ(MessageType(*reply), DHCPACK) << c.what;
    EXPECT_EQ(reply->destination, c.destination) << c.what;
    EXPECT_EQ(reply->port, c.port) << c.what;
    EXPECT_EQ(testing::BigEndianAt(reply->bytes, off::kGiaddr), c.replyGiaddr) << c.what;
    EXPECT_EQ((reply->bytes[off::kFlags] << 8) | reply->bytes[off::kFlags + 1], c.replyFlags)
        << c.what;
  }
}

TEST_F(RequestProcessorTest, RequestOutsideThePoolCancelsTheOfferAndNaksOnlyWithOptNack) {
  for (const std::int32_t nack : {0, 1}) {
    for (const bool withAddress : {true, false}) {
      settings.OptNACK = nack;
      Start();
      ASSERT_TRUE(Discover(1));
      events.events.clear();
      auto packet = From(1).Type(DHCPREQUEST);
      if (withAddress) packet.Requested(kOutside);
      const auto reply = Exchange(packet);
      const std::string requested = withAddress ? "192.168.0.50" : "0.0.0.0";
      EXPECT_EQ(Entry(kFirst)->state, LEASE_FREE);
      std::vector<RecordedEvent> expected{Ev(EV_REQUEST, kClientA, requested)};
      if (nack) {
        ASSERT_TRUE(reply);
        EXPECT_EQ(MessageType(*reply), DHCPNAK);
        EXPECT_EQ(Yiaddr(*reply), withAddress ? kOutside : 0u);
        EXPECT_EQ(WalkOptions(reply->bytes).Codes(), std::vector<std::uint8_t>{53});
        expected.push_back(Ev(EV_NAK, kClientA, requested));
      } else {
        EXPECT_FALSE(reply);
      }
      EXPECT_EQ(events.events, expected) << "OptNACK " << nack;
    }
  }
}

TEST_F(RequestProcessorTest, RequestForAnotherClientsAddressIsNakedEvenWithoutOptNack) {
  Start();
  ASSERT_TRUE(Discover(1));
  const auto reply = Request(2, kFirst);
  ASSERT_TRUE(reply);
  EXPECT_EQ(MessageType(*reply), DHCPNAK);
  EXPECT_EQ(events.events.back(), Ev(EV_NAK, kClientB, "192.168.0.100"));
  EXPECT_EQ(Entry(kFirst)->client, Id(1));
}

// Every message type, its reports in order and whether an answer goes out.
TEST_F(RequestProcessorTest, MessageTypeTable) {
  struct Case {
    const char* what;
    PacketBuilder packet;
    std::vector<RecordedEvent> reports;
    std::optional<std::uint8_t> replyType;  // 0 = BOOTP reply
  };
  const Case cases[] = {
      {"OFFER is ignored", From(1).Type(DHCPOFFER), {}, std::nullopt},
      {"ACK is ignored", From(1).Type(DHCPACK), {}, std::nullopt},
      {"NAK is ignored", From(1).Type(DHCPNAK), {}, std::nullopt},
      {"type 9 is ignored", From(1).Type(9), {}, std::nullopt},
      {"type 255 is ignored", From(1).Type(255), {}, std::nullopt},
      {"DISCOVER",
       From(1).Type(DHCPDISCOVER),
       {Ev(EV_DISCOVER, kClientA), Ev(EV_OFFER, kClientA, "192.168.0.100")},
       DHCPOFFER},
      {"REQUEST",
       From(1).Type(DHCPREQUEST).Requested(kSecond),
       {Ev(EV_REQUEST, kClientA, "192.168.0.101"), Ev(EV_ACK, kClientA, "192.168.0.101")},
       DHCPACK},
      {"RELEASE",
       From(1).Type(DHCPRELEASE).Ciaddr(kFirst),
       {Ev(EV_RELEASE, kClientA, "192.168.0.100")},
       std::nullopt},
      {"INFORM off",
       From(1).Type(DHCPINFORM).Ciaddr(kFirst),
       {Ev(EV_INFORM, kClientA, "192.168.0.100")},
       std::nullopt},
      {"BOOTP without reservation",
       From(1).Ciaddr(kFirst),
       {Ev(EV_BOOTP_REQUEST, kClientA, "192.168.0.100"), Ev(EV_NO_ADDRESS)},
       std::nullopt},
      {"BOOTP without cookie",
       From(1).Type(DHCPDISCOVER).NoCookie(),
       {Ev(EV_BOOTP_REQUEST, kClientA, "0.0.0.0"), Ev(EV_NO_ADDRESS)},
       std::nullopt},
      {"DECLINE of an address the client does not hold",
       From(1).Type(DHCPDECLINE).Ciaddr(kLast),
       {Ev(EV_DECLINE, kClientA, "192.168.0.110")},
       std::nullopt},
  };
  for (const auto& c : cases) {
    events.events.clear();
    Start();
    const auto reply = Exchange(c.packet);
    EXPECT_EQ(events.events, c.reports) << c.what;
    ASSERT_EQ(reply.has_value(), c.replyType.has_value()) << c.what;
    if (reply) {
      EXPECT_EQ(MessageType(*reply), *c.replyType) << c.what;
    }
  }
}

TEST_F(RequestProcessorTest, ReleaseFreesTheClientsEntry) {
  Start();
  ASSERT_TRUE(Discover(1));
  ASSERT_TRUE(Request(1, kFirst));
  EXPECT_FALSE(Exchange(From(2).Type(DHCPRELEASE).Ciaddr(kFirst)));
  EXPECT_EQ(Entry(kFirst)->state, LEASE_BOUND);  // another client cannot release it
  EXPECT_FALSE(Exchange(From(1).Type(DHCPRELEASE).Ciaddr(kFirst)));
  EXPECT_EQ(Entry(kFirst)->state, LEASE_FREE);
}

TEST_F(RequestProcessorTest, DeclineMarksCiaddrElseOption50ElseNothing) {
  struct Case {
    const char* what;
    std::uint32_t held;  // bound to the declining client first
    PacketBuilder packet;
    bool marked;
    const char* reported;
  };
  const Case cases[] = {
      {"ciaddr", kSecond, From(1).Type(DHCPDECLINE).Ciaddr(kSecond).Requested(kLast), true,
       "192.168.0.101"},
      {"option 50 when ciaddr is 0", kLast, From(1).Type(DHCPDECLINE).Requested(kLast), true,
       "192.168.0.110"},
      {"neither", kSecond, From(1).Type(DHCPDECLINE), false, "0.0.0.0"},
  };
  for (const auto& c : cases) {
    files.files.clear();  // the marks of the case before last across a restart
    Start();
    ASSERT_TRUE(Request(1, c.held)) << c.what;
    events.events.clear();
    EXPECT_FALSE(Exchange(c.packet)) << c.what;
    std::vector<RecordedEvent> expected{Ev(EV_DECLINE, kClientA, c.reported)};
    if (c.marked) expected.push_back(Ev(EV_ADDRESS_CONFLICT, "", c.reported));
    EXPECT_EQ(events.events, expected) << c.what;
    std::array<LeaseEntry, kMaxPoolSize> all{};
    const int n = table->CopyLeaseTable(all);
    for (int i = 0; i < n; ++i) {
      const bool held = all[i].address == c.held;
      EXPECT_EQ(all[i].state, !held      ? LEASE_FREE
                              : c.marked ? LEASE_RESERVED
                                         : LEASE_BOUND)
          << c.what;
      if (held && c.marked) {
        EXPECT_EQ(HostName(all[i]), kConflictHostName) << c.what;
        EXPECT_TRUE(all[i].client.IsEmpty()) << c.what;
      }
    }
  }
}

// Forged DECLINEs, one from a made-up machine for every pool address, must not deny the pool:
// the bound client keeps and renews its address, the offer stands, a newcomer is served. Only the
// holders' own DECLINEs set addresses aside.
TEST_F(RequestProcessorTest, DeclineCountsOnlyFromTheAddressesClient) {
  Start();
  ASSERT_TRUE(Request(1, kFirst));
  ASSERT_TRUE(Discover(2));  // offered kSecond
  events.events.clear();
  for (std::uint32_t a = kFirst; a <= kLast; ++a) {
    EXPECT_FALSE(
        Exchange(From(static_cast<std::uint8_t>(0x40 + (a - kFirst))).Type(DHCPDECLINE).Ciaddr(a)));
  }
  EXPECT_EQ(events.Ids(), std::vector<EventId>(kLast - kFirst + 1, EV_DECLINE));
  ASSERT_EQ(problems.lines.size(), kLast - kFirst + 1);
  EXPECT_EQ(problems.lines[0],
            "ignored DHCPDECLINE of 192.168.0.100 from 01:00A0C9000040, which does not hold it");
  EXPECT_EQ(Entry(kFirst)->state, LEASE_BOUND);
  EXPECT_EQ(Entry(kSecond)->state, LEASE_OFFERED);
  const auto renewed = Request(1, kFirst);
  ASSERT_TRUE(renewed);
  EXPECT_EQ(MessageType(*renewed), DHCPACK);
  const auto newcomer = Discover(3);
  ASSERT_TRUE(newcomer);
  EXPECT_EQ(Yiaddr(*newcomer), kSecond + 1);

  events.events.clear();
  EXPECT_FALSE(Exchange(From(1).Type(DHCPDECLINE).Ciaddr(kFirst)));
  EXPECT_FALSE(Exchange(From(2).Type(DHCPDECLINE).Requested(kSecond)));
  EXPECT_EQ(events.events, (std::vector<RecordedEvent>{
                               Ev(EV_DECLINE, kClientA, "192.168.0.100"),
                               Ev(EV_ADDRESS_CONFLICT, "", "192.168.0.100"),
                               Ev(EV_DECLINE, kClientB, "192.168.0.101"),
                               Ev(EV_ADDRESS_CONFLICT, "", "192.168.0.101"),
                           }));
  EXPECT_EQ(HostName(*Entry(kFirst)), kConflictHostName);
  EXPECT_EQ(HostName(*Entry(kSecond)), kConflictHostName);
  EXPECT_EQ(problems.lines.size(), kLast - kFirst + 1);
}

TEST_F(RequestProcessorTest, InformIsAnsweredOnlyWhenOnAndInsideThePool) {
  struct Case {
    const char* what;
    std::int32_t inform;
    std::uint32_t ciaddr;
    bool answered;
  };
  const Case cases[] = {
      {"on, inside", 1, kSecond, true},
      {"off", 0, kSecond, false},
      {"outside the pool", 1, kOutside, false},
      {"ciaddr 0", 1, 0, false},
  };
  for (const auto& c : cases) {
    settings.OptDHCPINFORM = c.inform;
    Start();
    events.events.clear();
    const auto reply = Exchange(From(1).Type(DHCPINFORM).Ciaddr(c.ciaddr).Option(55, {3}));
    ASSERT_EQ(reply.has_value(), c.answered) << c.what;
    if (!reply) continue;
    EXPECT_EQ(reply->destination, c.ciaddr);
    EXPECT_EQ(Yiaddr(*reply), 0u);
    EXPECT_EQ(WalkOptions(reply->bytes).Codes(), (std::vector<std::uint8_t>{53, 1, 54, 3}));
    EXPECT_EQ(events.events.back(), Ev(EV_ACK, kClientA, "0.0.0.0"));
    EXPECT_EQ(Entry(c.ciaddr)->state, LEASE_FREE);  // an answer hands out nothing
  }
}

TEST_F(RequestProcessorTest, BootpClientWithReservationGetsItsAddressAndName) {
  Reserve({Reservation(kLast, Id(1), "printer")});
  Start();
  const auto reply = Exchange(From(1).Field8(off::kHops, 1));
  ASSERT_TRUE(reply);
  EXPECT_EQ(Yiaddr(*reply), kLast);
  EXPECT_EQ(testing::BigEndianAt(reply->bytes, off::kSiaddr), kServer);
  EXPECT_EQ(reply->bytes[off::kHops], 1);
  const auto options = WalkOptions(reply->bytes);
  EXPECT_EQ(options.Codes(), (std::vector<std::uint8_t>{1, 12, 3, 6, 15}));
  EXPECT_EQ(options.Find(12)->data, (std::vector<std::uint8_t>{'p', 'r', 'i', 'n', 't', 'e', 'r'}));
  EXPECT_EQ(reply->sentEvent, EV_BOOTP_REPLY);
  EXPECT_EQ(events.events,
            (std::vector<RecordedEvent>{Ev(EV_BOOTP_REQUEST, kClientA, "0.0.0.0"),
                                        Ev(EV_BOOTP_REPLY, kClientA, "192.168.0.110")}));
}

// A relayed answer goes to port 67 with giaddr kept, where it may reach a server again (this one
// too, when the agent runs on its host). Answering it would send the same packet on and on.
TEST_F(RequestProcessorTest, ReplyThatComesBackIsNotAnswered) {
  Reserve({Reservation(kLast, Id(1), "printer")});
  Start();
  const auto first = Exchange(From(1).Giaddr(kRelay));
  ASSERT_TRUE(first);
  ASSERT_EQ(first->destination, kRelay);
  ASSERT_EQ(first->port, kServerPort);
  events.events.clear();
  EXPECT_FALSE(processor->HandleRequest(first->bytes));
  EXPECT_TRUE(events.events.empty());

  // Whatever else a reply carries, it is not a request: a DHCP-looking one is not taken either.
  auto replyOp = From(2).Type(DHCPDISCOVER);
  replyOp.Field8(off::kOp, 2);
  EXPECT_FALSE(Exchange(replyOp));
  EXPECT_EQ(Entry(kFirst)->state, LEASE_FREE);
}

// A giaddr no agent can have, or this host's own, would have the answer sent there and the offer
// hold an address: every relayable request carrying one is dropped untouched, even the holder's
// own RELEASE and DECLINE. A real agent's address still works.
TEST_F(RequestProcessorTest, ImplausibleRelayAddressesAreDropped) {
  settings.OptDHCPINFORM = 1;
  settings.OptNACK = 1;
  Reserve({Reservation(kLast, Id(2), "printer")});
  Start();
  ASSERT_TRUE(Request(1, kFirst));
  const std::uint32_t giaddrs[] = {0x00000001, 0x00FFFFFF, 0x7F000001, 0x7F0000FE, 0xE0000001,
                                   0xEFFFFFFF, 0xF0000001, 0xFFFFFFFE, 0xFFFFFFFF, kServer};
  for (const std::uint32_t giaddr : giaddrs) {
    const PacketBuilder packets[] = {
        From(2),  // BOOTP, reserved
        From(3).Type(DHCPDISCOVER),
        From(3).Type(DHCPREQUEST).Requested(kSecond),
        From(3).Type(DHCPINFORM).Ciaddr(kSecond),
        From(1).Type(DHCPDECLINE).Ciaddr(kFirst),
        From(1).Type(DHCPRELEASE).Ciaddr(kFirst),
    };
    for (PacketBuilder packet : packets) {
      EXPECT_FALSE(Exchange(packet.Giaddr(giaddr))) << FormatAddress(giaddr);
    }
  }
  EXPECT_EQ(events.Ids(), (std::vector<EventId>{EV_REQUEST, EV_ACK}));  // the setup's
  EXPECT_TRUE(problems.lines.empty());
  for (std::uint32_t a = kFirst; a <= kLast; ++a) {
    const std::uint32_t expected = a == kFirst  ? LEASE_BOUND
                                   : a == kLast ? LEASE_RESERVED
                                                : LEASE_FREE;
    EXPECT_EQ(Entry(a)->state, expected) << FormatAddress(a);
  }
  const auto relayed = Exchange(From(3).Type(DHCPDISCOVER).Giaddr(kRelay));
  ASSERT_TRUE(relayed);
  EXPECT_EQ(relayed->destination, kRelay);
  EXPECT_EQ(Yiaddr(*relayed), kSecond);
}

TEST_F(RequestProcessorTest, ClientCheckAdmitsListedAndReservedClientsOnly) {
  settings.CheckClient = 1;
  Reserve({Reservation(kLast, Id(2), "")});
  ASSERT_EQ(allowed.InsertAllowedClient(Id(1)), 0);
  Start();
  EXPECT_TRUE(Discover(1));  // listed
  EXPECT_TRUE(Discover(2));  // reserved, not listed
  for (const std::uint8_t type :
       {kBootpRequest, DHCPDISCOVER, DHCPREQUEST, DHCPDECLINE, DHCPRELEASE, DHCPINFORM, DHCPACK}) {
    events.events.clear();
    auto packet = From(3).Ciaddr(kFirst);
    if (type != kBootpRequest) packet.Type(type);
    EXPECT_FALSE(Exchange(packet)) << int(type);
    EXPECT_EQ(events.events,
              (std::vector<RecordedEvent>{Ev(EV_CLIENT_REJECTED, "01:00A0C9000003")}))
        << int(type);
  }
  EXPECT_EQ(Entry(kFirst)->state,
            LEASE_OFFERED);  // the refused DECLINE and RELEASE changed nothing
}

TEST_F(RequestProcessorTest, ExhaustedPoolReportsNoAddress) {
  LeaseTableSettings pool = PoolSettings();
  pool.EndIPAddr = pool.StartIPAddr;
  Start(pool);
  ASSERT_TRUE(Discover(1));
  events.events.clear();
  EXPECT_FALSE(Discover(2));
  EXPECT_EQ(events.events, (std::vector<RecordedEvent>{Ev(EV_DISCOVER, kClientB),
                                                       Ev(EV_POOL_EXHAUSTED), Ev(EV_NO_ADDRESS)}));
}

TEST_F(RequestProcessorTest, OverlongClientIdentifierIsNotServed) {
  Start();
  std::vector<std::uint8_t> id(18, 0x42);
  EXPECT_FALSE(Exchange(From(1).Type(DHCPDISCOVER).Option(opt::kClientIdentifier, id)));
  EXPECT_EQ(events.Ids(), (std::vector<EventId>{EV_DISCOVER, EV_NO_ADDRESS}));
  id.resize(17);
  EXPECT_TRUE(Exchange(From(1).Type(DHCPDISCOVER).Option(opt::kClientIdentifier, id)));

  // An hlen beyond chaddr keeps the identifier over-long, also at hlen 255.
  for (const std::uint8_t hlen : {17, 40, 255}) {
    events.events.clear();
    EXPECT_FALSE(Exchange(From(2).Type(DHCPDISCOVER).Field8(off::kHlen, hlen))) << int(hlen);
    EXPECT_EQ(events.Ids(), (std::vector<EventId>{EV_DISCOVER, EV_NO_ADDRESS})) << int(hlen);
  }
}

// Each request left unserved or refused is logged once with the reason the administrator needs
// (for a DUID client its identifier, whatever else the request ran into); the served exchanges
// around it leave nothing.
TEST_F(RequestProcessorTest, EachUnservedRequestIsLoggedOnceWithItsReason) {
  using R = RefusalReason;
  const std::vector<std::uint8_t> duid(19, 0x42);
  const struct {
    std::int32_t checkClient;
    PacketBuilder packet;
    std::optional<RefusalReason> reason;
    std::string_view hostName = "pc3";
  } cases[] = {
      {1, From(1).Type(DHCPREQUEST).Requested(kFirst), std::nullopt},
      {1, From(3).Type(DHCPDISCOVER), R::kNotOnClientList},
      {0, From(3).Type(DHCPDISCOVER).Giaddr(kServer), R::kBadRelayAddress},
      {0, From(3).Type(DHCPDISCOVER), R::kPoolExhausted},
      {0, From(3).Type(DHCPREQUEST).Requested(kFirst), R::kAddressHeld},
      {0, From(3).Type(DHCPREQUEST).Requested(kOutside), R::kAddressHeld},
      {0, From(3).Type(DHCPDECLINE).Ciaddr(kFirst), R::kDeclineIgnored},
      {0, From(3).Type(DHCPDISCOVER).Option(opt::kClientIdentifier, duid), R::kClientIdTooLong},
      {1, From(3).Type(DHCPDISCOVER).Option(opt::kClientIdentifier, duid), R::kClientIdTooLong},
      {0, From(3).NoCookie(), R::kBootpNotReserved, ""},  // BOOTP carries no options
  };
  ASSERT_EQ(allowed.InsertAllowedClient(Id(1)), 0);
  LeaseTableSettings pool = PoolSettings();
  pool.EndIPAddr = pool.StartIPAddr;
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    settings.CheckClient = c.checkClient;
    Start(pool);
    ASSERT_TRUE(Discover(1) && Request(1, kFirst));
    clock.Advance(5);
    Exchange(PacketBuilder(c.packet).HostName("pc3"));
    OperatorReport report;
    refusals->CopyInto(report);
    ASSERT_EQ(report.recentRefusals.size(), c.reason ? 1u : 0u);
    if (!c.reason) continue;
    const Refusal& r = report.recentRefusals[0];
    EXPECT_TRUE(r.reason == *c.reason && r.hostName == c.hostName && r.time == clock.Now());
    EXPECT_EQ(report.refusalCounts[static_cast<std::size_t>(*c.reason)], 1u);
  }
}

TEST(RefusalLog, KeepsTheNewestInOrderAndCountsEverything) {
  FakeClock clock(0);
  RefusalLog log(clock);
  for (int i = 0; i < 300; ++i) {
    clock.Set(i);
    log.Record(RefusalReason::kPoolExhausted, Id(i & 0xFF), std::string(80, 'n'));
  }
  log.Record(RefusalReason{kRefusalReasonCount + 1}, Id(1), "");  // no count to keep it in
  OperatorReport report;
  log.CopyInto(report);
  ASSERT_EQ(report.recentRefusals.size(), kRecentRefusalLimit);
  EXPECT_EQ(report.recentRefusals.front().time, 300 - 256);
  EXPECT_EQ(report.recentRefusals.back().time, 299);
  EXPECT_TRUE(report.recentRefusals.back().client == Id(299 & 0xFF));
  EXPECT_EQ(report.recentRefusals.back().hostName, std::string(kMaxHostNameLength, 'n'));
  EXPECT_EQ(report.refusalCounts[static_cast<std::size_t>(RefusalReason::kPoolExhausted)], 300u);
}

TEST_F(RequestProcessorTest, OversizedDatagramIsReadCutTo548Bytes) {
  Start();
  const auto reply = Exchange(From(1).Type(DHCPDISCOVER).PadTo(1400));
  ASSERT_TRUE(reply);
  EXPECT_EQ(MessageType(*reply), DHCPOFFER);
}

}  // namespace
}  // namespace tamrix
