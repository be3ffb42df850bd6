#include "engine/rogue_watch.h"

#include <gtest/gtest.h>

#include "tests/engine/dhcp_packets.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_event_sink.h"

namespace tamrix {
namespace {

using testing::PacketBuilder;
using testing::RecordedEvent;

constexpr std::uint32_t kOurs = 0xC0000201;   // 192.0.2.1
constexpr std::uint32_t kOther = 0xC0000202;  // 192.0.2.2
constexpr std::array<std::uint8_t, 6> kOtherMac{0x02, 0x00, 0x00, 0x00, 0x00, 0xAA};

// Holds the callback the watch gives it, as the listening thread would.
class FakeAnswerSource final : public DhcpAnswerSource {
 public:
  int Start(std::function<void(const HeardAnswer&)> heard) override {
    heard_ = std::move(heard);
    return canListen ? 1 : 0;
  }
  void Stop() override { heard_ = nullptr; }
  void Deliver(const HeardAnswer& answer) { heard_(answer); }
  bool Listening() const { return heard_ != nullptr; }
  bool canListen = true;

 private:
  std::function<void(const HeardAnswer&)> heard_;
};

PacketBuilder Answer(std::uint8_t type, std::uint32_t serverIdentifier) {
  PacketBuilder b;
  b.Field8(dhcp_offset::kOp, 2).Type(type);
  if (serverIdentifier != 0) b.AddressOption(dhcp_option::kServerIdentifier, serverIdentifier);
  return b;
}

class RogueWatchTest : public ::testing::Test {
 protected:
  RogueWatchTest() { EXPECT_EQ(watch.Start({kOurs}), 1); }

  void Hear(const std::vector<std::uint8_t>& message, std::uint32_t from = kOther) {
    source.Deliver({message, from, kOtherMac});
  }

  FakeAnswerSource source;
  testing::RecordingEventSink events;
  testing::FakeClock clock;
  RogueWatch watch{source, events, clock};
};

const RecordedEvent kOtherReported{EV_ROGUE_SERVER, "01:0200000000AA", "192.0.2.2"};

TEST_F(RogueWatchTest, AnotherServerIsReportedOnceWhateverItGoesOnSending) {
  const Seconds first = clock.Now();
  Hear(Answer(DHCPOFFER, kOther).Build());
  clock.Advance(60);
  Hear(Answer(DHCPOFFER, kOther).Build());
  Hear(Answer(DHCPACK, kOther).Build(), 0x0A000001);  // through a relay agent
  EXPECT_EQ(events.events, std::vector{kOtherReported});
  ASSERT_EQ(watch.Servers().size(), 1u);
  const RogueServer heard = watch.Servers()[0];
  EXPECT_EQ(heard.serverIdentifier, kOther);
  EXPECT_EQ(heard.hardwareAddress, kOtherMac);
  EXPECT_EQ(heard.firstSeen, first);
}

// Without an identifier (or with the broadcast address as one) the sender's address names it.
TEST_F(RogueWatchTest, ServerWithoutIdentifierIsKnownByItsSourceAddress) {
  Hear(Answer(DHCPACK, 0).Build());
  Hear(Answer(DHCPOFFER, 0xFFFFFFFF).Build());
  EXPECT_EQ(events.events, std::vector{kOtherReported});
}

TEST_F(RogueWatchTest, OurOwnAnswersAndAnythingElseAreNeverReported) {
  const std::vector<std::uint8_t> ignored[] = {
      Answer(DHCPOFFER, kOurs).Build(),
      Answer(DHCPNAK, kOther).Build(),
      Answer(DHCPOFFER, kOther).Field8(dhcp_offset::kOp, 1).Build(),
      Answer(DHCPOFFER, kOther).NoCookie().Build(),
      PacketBuilder().Field8(dhcp_offset::kOp, 2).Option(dhcp_option::kMessageType, {2, 0}).Build(),
      // The walk stops at an option running past the end: the type behind it is never read.
      PacketBuilder().Field8(dhcp_offset::kOp, 2).Raw({12, 200}).Type(DHCPOFFER).NoEnd().Build(),
      PacketBuilder().Field8(dhcp_offset::kOp, 2).Raw({255}).Type(DHCPOFFER).Build(),
  };
  for (const auto& message : ignored) Hear(message);
  Hear(Answer(DHCPOFFER, 0xFFFFFFFF).Build(), kOurs);  // ours with OptSrvAddr
  Hear(Answer(DHCPOFFER, 0).Build(), 0);
  std::vector<std::uint8_t> cut = Answer(DHCPOFFER, kOther).Build();
  cut.resize(dhcp_offset::kOptions - 1);
  Hear(cut);
  EXPECT_TRUE(events.events.empty());
  EXPECT_TRUE(watch.Servers().empty());
}

TEST_F(RogueWatchTest, AcknowledgeMarksOnlyAKnownServer) {
  Hear(Answer(DHCPOFFER, kOther).Build());
  EXPECT_EQ(watch.Acknowledge(kOurs), 0);
  EXPECT_EQ(watch.Acknowledge(kOther), 1);
  EXPECT_TRUE(watch.Servers()[0].acknowledged);
  Hear(Answer(DHCPOFFER, kOther).Build());
  EXPECT_EQ(events.events.size(), 1u);
}

TEST_F(RogueWatchTest, ServersBeyondTheLimitAreNeitherListedNorReported) {
  for (std::uint32_t n = 0; n <= kRogueServerLimit; ++n) {
    Hear(Answer(DHCPOFFER, 0x0A000001 + n).Build());
  }
  const auto servers = watch.Servers();
  ASSERT_EQ(servers.size(), kRogueServerLimit);
  EXPECT_EQ(servers.back().serverIdentifier, 0x0A000000 + kRogueServerLimit);
  EXPECT_EQ(events.events.size(), kRogueServerLimit);
}

// A new run starts empty and reports again; a source that cannot listen fails the start only.
TEST_F(RogueWatchTest, EachRunListensAfreshAndStopEndsListening) {
  Hear(Answer(DHCPOFFER, kOther).Build());
  watch.Stop();
  EXPECT_FALSE(source.Listening());
  EXPECT_EQ(watch.Servers().size(), 1u);
  EXPECT_EQ(watch.Start({kOurs}), 1);
  EXPECT_TRUE(watch.Servers().empty());
  Hear(Answer(DHCPOFFER, kOther).Build());
  EXPECT_EQ(events.events, (std::vector{kOtherReported, kOtherReported}));
  source.canListen = false;
  EXPECT_EQ(watch.Start({kOurs}), 0);
}

}  // namespace
}  // namespace tamrix
