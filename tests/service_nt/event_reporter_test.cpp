#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/address.h"
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

// Each of the sixteen operations, with what it must write.
struct Operation {
  const char* name;
  std::function<int(ReportOperations&)> call;
  std::uint32_t identifier;
  EventType type;
  Strings strings;
};

std::vector<Operation> AllOperations() {
  const std::string c = "01:00A0C9123456";
  const std::string a = "192.168.0.10";
  const auto info = EventType::kInformation;
  return {
      {"start", [](ReportOperations& r) { return r.ReportServerStart(); }, 0x40000064, info, {}},
      {"stop", [](ReportOperations& r) { return r.ReportServerStop(); }, 0x40000065, info, {}},
      {"discover", [](ReportOperations& r) { return r.ReportDiscover(kClient); }, 0x400003E9, info, {c}},
      {"offer", [](ReportOperations& r) { return r.ReportOffer(kClient, kAddress); }, 0x400003EA, info, {c, a}},
      {"request", [](ReportOperations& r) { return r.ReportRequest(kClient, kAddress); }, 0x400003EB, info, {c, a}},
      {"decline", [](ReportOperations& r) { return r.ReportDecline(kClient, kAddress); }, 0x400003EC, info, {c, a}},
      {"ack", [](ReportOperations& r) { return r.ReportAck(kClient, kAddress); }, 0x400003ED, info, {c, a}},
      {"nak", [](ReportOperations& r) { return r.ReportNak(kClient, kAddress); }, 0x400003EE, info, {c, a}},
      {"release", [](ReportOperations& r) { return r.ReportRelease(kClient, kAddress); }, 0x400003EF, info, {c, a}},
      {"inform", [](ReportOperations& r) { return r.ReportInform(kClient, kAddress); }, 0x400003F0, info, {c, a}},
      {"bootp request", [](ReportOperations& r) { return r.ReportBootpRequest(kClient, kAddress); }, 0x4000044C, info, {c, a}},
      {"bootp reply", [](ReportOperations& r) { return r.ReportBootpReply(kClient, kAddress); }, 0x4000044D, info, {c, a}},
      {"expired", [](ReportOperations& r) { return r.ReportLeaseExpired(kClient, kAddress); }, 0x40002711, info, {c, a}},
      {"rejected", [](ReportOperations& r) { return r.ReportClientRejected(kClient); }, 0x40002712, info, {c}},
      {"conflict", [](ReportOperations& r) { return r.ReportAddressConflict(kAddress); }, 0x80002713, EventType::kWarning, {a}},
      {"no address", [](ReportOperations& r) { return r.ReportNoAddress(); }, 0x80002714, EventType::kWarning, {}},
  };
}

TEST(EventTypeOf, TakesTheTopTwoBits) {
  EXPECT_EQ(EventTypeOf(0x00000001), EventType::kSuccess);
  EXPECT_EQ(EventTypeOf(0x40000001), EventType::kInformation);
  EXPECT_EQ(EventTypeOf(0x80000001), EventType::kWarning);
  EXPECT_EQ(EventTypeOf(0xC0000001), EventType::kError);
}

TEST(EventReporter, OpensItsSourceAndStartsDisabled) {
  RecordingEventLog log;
  EventReporter reporter(log);
  EXPECT_EQ(log.sources, Strings{"TAMXNTs"});
  EXPECT_FALSE(reporter.ReportsEnabled());
  for (const Operation& op : AllOperations()) EXPECT_EQ(op.call(reporter), 0) << op.name;
  EXPECT_TRUE(log.entries.empty());
}

TEST(EventReporter, EachOperationWritesItsIdentifierTypeAndStrings) {
  RecordingEventLog log;
  EventReporter reporter(log);
  reporter.SetReportsEnabled(true);
  const auto operations = AllOperations();
  for (const Operation& op : operations) EXPECT_EQ(op.call(reporter), 1) << op.name;
  ASSERT_EQ(log.entries.size(), operations.size());
  for (std::size_t i = 0; i < operations.size(); ++i) {
    SCOPED_TRACE(operations[i].name);
    EXPECT_EQ(log.entries[i].identifier, operations[i].identifier);
    EXPECT_EQ(log.entries[i].type, operations[i].type);
    EXPECT_EQ(log.entries[i].strings, operations[i].strings);
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
  EXPECT_EQ(reporter.ReportServerStop(), 1);
  reporter.SetReportsEnabled(false);
  EXPECT_EQ(reporter.ReportServerStop(), 0);
  EXPECT_EQ(reporter.CloseEventSource(), 1);
  EXPECT_EQ(reporter.CloseEventSource(), 0);
  EXPECT_EQ(log.closes, 1);
  reporter.SetReportsEnabled(true);
  EXPECT_EQ(reporter.ReportServerStop(), 0);  // no source any more: the write fails
  EXPECT_EQ(log.entries.size(), 1u);
}

TEST(EventReporter, AFailedRegistrationLeavesNothingToClose) {
  RecordingEventLog log;
  log.openSucceeds = false;
  EventReporter reporter(log);
  reporter.SetReportsEnabled(true);
  EXPECT_EQ(reporter.ReportNoAddress(), 0);
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
  std::thread a([&] { for (int i = 0; i < kRounds; ++i) reporter.ReportAck(kClient, kAddress); });
  std::thread b([&] { for (int i = 0; i < kRounds; ++i) reporter.ReportLeaseExpired(other, 0x0A000001); });
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

TEST(InertEventReporter, EveryOperationSucceedsAndDoesNothing) {
  InertEventReporter reporter;
  reporter.SetReportsEnabled(true);
  for (const Operation& op : AllOperations()) EXPECT_EQ(op.call(reporter), 1) << op.name;
  EXPECT_EQ(reporter.CloseEventSource(), 1);
}

// Text and number of insertion places of every event, read from the built message file.
TEST(MessageFile, HasATextForEachEventWithItsInsertionPlaces) {
  MessageFile messages;
  ASSERT_TRUE(messages.Load(TAMXEVT_PATH));
  for (const Operation& op : AllOperations()) {
    SCOPED_TRACE(op.name);
    const auto text = messages.Text(op.identifier);
    ASSERT_TRUE(text.has_value());
    EXPECT_FALSE(text->empty());
    EXPECT_EQ(text->find("%1") != std::string::npos, op.strings.size() >= 1);
    EXPECT_EQ(text->find("%2") != std::string::npos, op.strings.size() >= 2);
    EXPECT_EQ(text->find("%3"), std::string::npos);
    if (op.strings.size() == 2) {
      EXPECT_LT(text->find("%1"), text->find("%2"));
    }
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
