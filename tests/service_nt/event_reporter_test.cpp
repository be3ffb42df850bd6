#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/address.h"
#include "common/event_catalogue.h"
#include "engine/engine.h"
#include "tests/fakes/standin_status_publication.h"
#include "platform/posix/message_file.h"
#include "platform/posix/syslog_event_log.h"
#include "service_nt/event_reporter.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_conflict_probe.h"
#include "tests/fakes/fake_file_system.h"
#include "tests/fakes/fake_host_lookup.h"
#include "tests/fakes/fake_udp_socket.h"
#include "tests/fakes/recording_event_log.h"

namespace tamrix {
namespace {

using testing::RecordingEventLog;
using Strings = std::vector<std::string>;

const std::uint8_t kMac[] = {0x00, 0xA0, 0xC9, 0x12, 0x34, 0x56};
const ClientId kClient = MakeClientId(1, kMac, sizeof kMac);
constexpr std::uint32_t kAddress = 0xC0A8000A;

// Every event, with what a report of it given both a client and an address must write, and the
// text the message file has always served for it. The texts are u8 literals, so they are UTF-8
// whatever character set the catalogue's own literals end up in.
struct Event {
  const char* name;
  std::uint32_t identifier;
  EventType type;
  Strings strings;
  const char8_t* text;
};

std::vector<Event> AllEvents() {
  const std::string c = "01:00A0C9123456";
  const std::string a = "192.168.0.10";
  const auto info = EventType::kInformation;
  const auto warning = EventType::kWarning;
  return {
      {"start", 0x40000064, info, {}, u8"DHCPサービスを開始しました。"},
      {"stop", 0x40000065, info, {}, u8"DHCPサービスを停止しました。"},
      {"discover", 0x400003E9, info, {c}, u8"クライアント %1 から DHCPDISCOVER を受信しました。"},
      {"offer", 0x400003EA, info, {c, a}, u8"クライアント %1 に DHCPOFFER (%2) を送信しました。"},
      {"request", 0x400003EB, info, {c, a}, u8"クライアント %1 から DHCPREQUEST (%2) を受信しました。"},
      {"decline", 0x400003EC, info, {c, a}, u8"クライアント %1 から DHCPDECLINE (%2) を受信しました。"},
      {"ack", 0x400003ED, info, {c, a}, u8"クライアント %1 に DHCPACK (%2) を送信しました。"},
      {"nak", 0x400003EE, info, {c, a}, u8"クライアント %1 に DHCPNAK (%2) を送信しました。"},
      {"release", 0x400003EF, info, {c, a}, u8"クライアント %1 から DHCPRELEASE (%2) を受信しました。"},
      {"inform", 0x400003F0, info, {c, a}, u8"クライアント %1 から DHCPINFORM (%2) を受信しました。"},
      {"bootp request", 0x4000044C, info, {c, a}, u8"クライアント %1 から BOOTP 要求 (%2) を受信しました。"},
      {"bootp reply", 0x4000044D, info, {c, a}, u8"クライアント %1 に BOOTP 応答 (%2) を送信しました。"},
      {"expired", 0x40002711, info, {c, a}, u8"クライアント %1 のアドレス %2 の期限が切れ、解放しました。"},
      {"rejected", 0x40002712, info, {c}, u8"クライアント %1 は許可されていないため、要求を破棄しました。"},
      {"conflict", 0x80002713, warning, {a}, u8"アドレス %1 は他の機器が使用中です。"},
      {"no address", 0x80002714, warning, {}, u8"割り当てられるアドレスがありません。"},
      {"pool exhausted", 0x80002715, warning, {},
       u8"アドレス プールの空きがなくなりました。新しいクライアントにはアドレスを割り当てられません。"},
      {"other server", 0x80002716, warning, {c, a},
       u8"他の DHCP サーバー %2 (ハードウェア アドレス %1) がこのネットワークで応答しています。"},
  };
}

void ReportEveryEvent(EventSink& sink) {
  for (const Event& event : AllEvents()) {
    sink.Report(static_cast<EventId>(event.identifier), &kClient, kAddress);
  }
}

TEST(EventReporter, OpensItsSourceAndStartsDisabled) {
  RecordingEventLog log;
  EventReporter reporter(log);
  EXPECT_EQ(log.sources, Strings{"TAMXNTs"});
  EXPECT_FALSE(reporter.ReportsEnabled());
  ReportEveryEvent(reporter);
  EXPECT_TRUE(log.entries.empty());
}

TEST(EventReporter, EachEventWritesItsIdentifierTypeAndStrings) {
  RecordingEventLog log;
  EventReporter reporter(log);
  reporter.SetReportsEnabled(true);
  ReportEveryEvent(reporter);
  const auto events = AllEvents();
  ASSERT_EQ(log.entries.size(), events.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    SCOPED_TRACE(events[i].name);
    EXPECT_EQ(log.entries[i].identifier, events[i].identifier);
    EXPECT_EQ(log.entries[i].type, events[i].type);
    EXPECT_EQ(log.entries[i].strings, events[i].strings);
  }
}

// The engine reports through the sink interface; the event, not the caller, decides the strings.
TEST(EventReporter, SinkReportsFollowTheEventsShape) {
  RecordingEventLog log;
  EventReporter reporter(log);
  reporter.SetReportsEnabled(true);
  EventSink& sink = reporter;
  sink.Report(EV_DISCOVER, &kClient, kAddress);          // an address it does not carry
  sink.Report(EV_ADDRESS_CONFLICT, nullptr, 0u);         // DECLINE with ciaddr 0
  sink.Report(EV_NO_ADDRESS, nullptr, std::nullopt);
  sink.Report(EV_ACK, &kClient, std::nullopt);           // a carried value missing
  sink.Report(static_cast<EventId>(0x40000001), &kClient, kAddress);  // not an event of ours
  ASSERT_EQ(log.entries.size(), 4u);
  EXPECT_EQ(log.entries[0].strings, Strings{"01:00A0C9123456"});
  EXPECT_EQ(log.entries[1].strings, Strings{"0.0.0.0"});
  EXPECT_EQ(log.entries[1].type, EventType::kWarning);
  EXPECT_EQ(log.entries[2].strings, Strings{});
  EXPECT_EQ(log.entries[3].strings, (Strings{"01:00A0C9123456", "0.0.0.0"}));
}

TEST(EventReporter, DisablingStopsReportsAndCloseHappensOnce) {
  RecordingEventLog log;
  EventReporter reporter(log);
  reporter.SetReportsEnabled(true);
  reporter.Report(EV_SERVER_STOP, nullptr, std::nullopt);
  reporter.SetReportsEnabled(false);
  reporter.Report(EV_SERVER_STOP, nullptr, std::nullopt);
  EXPECT_EQ(reporter.CloseEventSource(), 1);
  EXPECT_EQ(reporter.CloseEventSource(), 0);
  EXPECT_EQ(log.closes, 1);
  reporter.SetReportsEnabled(true);
  reporter.Report(EV_SERVER_STOP, nullptr, std::nullopt);  // no source any more: the write fails
  EXPECT_EQ(log.entries.size(), 1u);
}

TEST(EventReporter, AFailedRegistrationLeavesNothingToClose) {
  RecordingEventLog log;
  log.openSucceeds = false;
  EventReporter reporter(log);
  reporter.SetReportsEnabled(true);
  reporter.Report(EV_NO_ADDRESS, nullptr, std::nullopt);
  EXPECT_TRUE(log.entries.empty());
  EXPECT_EQ(reporter.CloseEventSource(), 0);
}

// Reports from two threads at once must never carry each other's strings.
TEST(EventReporter, ConcurrentReportsKeepTheirOwnStrings) {
  RecordingEventLog log;
  EventReporter reporter(log);
  reporter.SetReportsEnabled(true);
  const std::uint8_t otherMac[] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
  const ClientId other = MakeClientId(1, otherMac, sizeof otherMac);
  constexpr int kRounds = 2000;
  std::thread a([&] {
    for (int i = 0; i < kRounds; ++i) reporter.Report(EV_ACK, &kClient, kAddress);
  });
  std::thread b([&] {
    for (int i = 0; i < kRounds; ++i) reporter.Report(EV_LEASE_EXPIRED, &other, 0x0A000001);
  });
  a.join();
  b.join();
  ASSERT_EQ(log.entries.size(), 2u * kRounds);
  for (const auto& entry : log.entries) {
    const Strings expected = entry.identifier == EV_ACK
                                 ? Strings{"01:00A0C9123456", "192.168.0.10"}
                                 : Strings{"01:021122334455", "10.0.0.1"};
    ASSERT_EQ(entry.strings, expected);
  }
}

TEST(InertEventReporter, TakesEveryReportAndClosesWithSuccess) {
  InertEventReporter reporter;
  reporter.SetReportsEnabled(true);
  ReportEveryEvent(reporter);
  EXPECT_EQ(reporter.CloseEventSource(), 1);
}

// The built message file serves every event of the catalogue, each with the bytes it has always
// served, and nothing for an identifier that is not ours.
TEST(MessageFile, ServesEachEventsTextUnchanged) {
  MessageFile messages;
  ASSERT_TRUE(messages.Load(TAMXEVT_PATH));
  const auto events = AllEvents();
  EXPECT_EQ(EventCatalogue().size(), events.size());
  for (const Event& event : events) {
    SCOPED_TRACE(event.name);
    const std::u8string_view expected = event.text;
    EXPECT_EQ(messages.Text(event.identifier),
              std::string(reinterpret_cast<const char*>(expected.data()), expected.size()));
  }
  EXPECT_FALSE(messages.Text(0x40000066).has_value());
  EXPECT_FALSE(messages.Text(0x000003E9).has_value());  // right number, wrong severity
}

TEST(MessageFile, AMissingFileLeavesNumbersAndStrings) {
  MessageFile messages;
  EXPECT_FALSE(messages.Load("/nonexistent/TAMXEVT.dll"));
  const Strings strings = {"01:00A0C9123456", "192.168.0.10"};
  EXPECT_EQ(FormatLogEntry(EventType::kInformation, EV_OFFER, strings, messages),
            "[1002 information] 01:00A0C9123456, 192.168.0.10");
  EXPECT_EQ(FormatLogEntry(EventType::kWarning, EV_NO_ADDRESS, {}, messages), "[10004 warning]");

  ASSERT_TRUE(messages.Load(TAMXEVT_PATH));
  const std::string withText = FormatLogEntry(EventType::kInformation, EV_OFFER, strings, messages);
  EXPECT_EQ(withText.rfind("[1002 information] ", 0), 0u);
  EXPECT_NE(withText.find("01:00A0C9123456"), std::string::npos);
  EXPECT_NE(withText.find("192.168.0.10"), std::string::npos);
  EXPECT_EQ(withText.find('%'), std::string::npos);
}

TEST(ExpandMessage, PlacesStringsAndNeverReadsPastThem) {
  const Strings two = {"A", "B"};
  struct Case {
    const char* text;
    const char* expanded;
  };
  const Case cases[] = {
      {"%1 then %2", "A then B"}, {"%2%1", "BA"},   {"%3 stays", "%3 stays"},
      {"100%%", "100%"},          {"ends in %", "ends in %"}, {"%0", "%0"},
      {"%12", "%12"},             {"%1x", "Ax"},    {"%a", "%a"},
  };
  for (const Case& c : cases) EXPECT_EQ(ExpandMessage(c.text, two), c.expanded) << c.text;
}

// Through a whole engine run: with OptUseLog 100 at start and 101 on stop while still enabled,
// without it nothing; the source is closed at the end either way.
TEST(EventReporter, EngineRunWritesOnlyWhenTheSettingAsks) {
  for (const int useLog : {1, 0}) {
    SCOPED_TRACE(useLog);
    testing::FakeFileSystem files;
    files.files["/win/TAMRIX.ini"] =
        "[TAMRIX]\r\nStartIPAddr=192.168.0.10\r\nEndIPAddr=192.168.0.20\r\n"
        "SubnetMask=255.255.255.0\r\nOptUseLog=" + std::to_string(useLog) + "\r\n";
    testing::FakeClock clock;
    testing::FakeHostLookup hosts;
    hosts.thisHost = {0xC0A80001};
    testing::FakeConflictProbe probe;
    testing::FakeUdpNetwork network;
    RecordingEventLog log;
    EventReporter reporter(log);
    StandInStatusPublication publication;
    Engine engine(EngineEnvironment{"/win", files, clock, hosts, probe, network, reporter,
                                    publication, false});
    ASSERT_EQ(engine.EngineStart(), 1);
    EXPECT_EQ(reporter.ReportsEnabled(), useLog == 1);
    engine.EngineStop();
    EXPECT_FALSE(reporter.ReportsEnabled());
    EXPECT_EQ(log.closes, 1);
    std::vector<std::uint32_t> written;
    for (const auto& entry : log.entries) written.push_back(entry.identifier);
    const std::vector<std::uint32_t> expected =
        useLog == 1 ? std::vector<std::uint32_t>{EV_SERVER_START, EV_SERVER_STOP}
                    : std::vector<std::uint32_t>{};
    EXPECT_EQ(written, expected);
  }
}

}  // namespace
}  // namespace tamrix
