#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "host/operator_endpoint.h"
#include "platform/posix/posix_request_endpoint.h"
#include "status/operator_client.h"
#include "status/operator_messages.h"

namespace tamrix {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Refusals alternate between a 7-byte identifier and an over-long (19-byte) one.
OperatorReport Report(std::size_t refusals, std::size_t servers, std::size_t nameLength) {
  OperatorReport report;
  report.pool = {200, 3, 10, 2, 41};
  for (std::uint32_t r = 1; r <= kRefusalReasonCount; ++r) report.refusalCounts[r] = 1000 * r;
  for (std::size_t i = 0; i < refusals; ++i) {
    ClientId id{static_cast<std::uint8_t>(i % 2 ? 19 : 7), {1, static_cast<std::uint8_t>(i)}};
    report.recentRefusals.push_back({static_cast<Seconds>(i), id, std::string(nameLength, 'h'),
                                     static_cast<RefusalReason>(1 + i % kRefusalReasonCount)});
  }
  for (std::size_t i = 0; i < servers; ++i) {
    report.rogueServers.push_back({static_cast<std::uint32_t>(i), {2, 0, 0, 0, 0, 9},
                                   static_cast<Seconds>(i), i % 2 == 1});
  }
  return report;
}

Bytes Encoded(const OperatorReport& report) { return EncodeOperatorReply(1, &report); }

TEST(OperatorMessages, RoundTripAtTheLimitsAndHostileBytesRefused) {
  const Bytes full = Encoded(Report(kRecentRefusalLimit, kRogueServerLimit, 63));
  ASSERT_EQ(full.size(), kMaxOperatorReplySize);
  const auto decoded = DecodeOperatorReply(full);
  ASSERT_TRUE(decoded && decoded->report);
  EXPECT_EQ(Encoded(*decoded->report), full);
  EXPECT_EQ(decoded->report->recentRefusals[1].client.length, 19);

  // Beyond the limits the newest refusals and the first servers are kept; names are cut.
  const auto capped = DecodeOperatorReply(Encoded(Report(300, 40, 70)));
  ASSERT_TRUE(capped && capped->report);
  EXPECT_EQ(capped->report->recentRefusals.size(), kRecentRefusalLimit);
  EXPECT_EQ(capped->report->recentRefusals.front().time, 44);
  EXPECT_EQ(capped->report->recentRefusals.back().hostName.size(), 63u);
  EXPECT_EQ(capped->report->rogueServers.back().serverIdentifier, 31u);

  // Two refusals without names and one server: counts at 56 and 112, the first name's length
  // at 80 and its reason at 81, the server's flag at 128, the free count's low byte at 20.
  const Bytes small = Encoded(Report(2, 1, 0));
  ASSERT_EQ(small.size(), 129u);
  for (std::size_t cut = 0; cut <= small.size() + 1; ++cut) {
    Bytes hostile = small;
    hostile.resize(cut);  // the result alone (4 bytes) is a whole reply
    EXPECT_EQ(DecodeOperatorReply(hostile).has_value(), cut == 4 || cut == small.size()) << cut;
  }
  const std::pair<std::size_t, std::uint8_t> patches[] = {
      {56, 0xFF}, {57, 1}, {112, 33}, {80, 64}, {81, 0}, {81, 9}, {128, 2}, {7, 0x80}, {20, 200}};
  for (const auto& [offset, value] : patches) {
    Bytes hostile = small;
    hostile[offset] = value;
    EXPECT_FALSE(DecodeOperatorReply(hostile)) << offset << "=" << int(value);
  }

  OperatorRequest reserve{OperatorRequestKind::kReserve, 0xC0000264, {7, {1, 2}}, "", 0};
  reserve.hostName.assign(70, 'x');
  Bytes request = EncodeOperatorRequest(reserve);
  ASSERT_EQ(request.size(), kMaxOperatorRequestSize);
  const auto back = DecodeOperatorRequest(request);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->client, reserve.client);
  EXPECT_EQ(back->hostName, std::string(63, 'x'));
  EXPECT_FALSE(DecodeOperatorRequest(std::span(request).first(89)));
  request[26] = 64;  // the name's length
  EXPECT_FALSE(DecodeOperatorRequest(request));
  EXPECT_FALSE(DecodeOperatorRequest(Bytes{4, 0, 0, 0}));     // no such request
  EXPECT_FALSE(DecodeOperatorRequest(Bytes{1, 0, 0, 0, 0}));  // a fetch carries nothing
}

class StandInService final : public OperatorBackend {
 public:
  int FetchOperatorReport(OperatorReport& out) override {
    out = Report(3, 2, 5);
    return running;
  }
  ReserveOutcome ReserveLease(std::uint32_t address, const ClientId&,
                              std::string_view hostName) override {
    reserved = std::to_string(address) + " " + std::string(hostName);
    return running ? ReserveOutcome::kAddressTaken : ReserveOutcome::kNoService;
  }
  int AcknowledgeRogueServer(std::uint32_t id) override { return running && id == 7; }

  bool running = false;
  std::string reserved;
};

// The panel's three calls on this machine (TAMRIX_SYSROOT), through a real endpoint, to a
// service that runs, one that does not, and none at all.
TEST(OperatorEndpoint, PanelCallsReachTheServiceOrReadAsNoService) {
  std::string root = "/tmp/tamrix-operator-XXXXXX";
  ASSERT_NE(mkdtemp(root.data()), nullptr);
  setenv("TAMRIX_SYSROOT", root.c_str(), 1);
  PosixRequestEndpointSystem endpoints(MachinePaths{root});
  StandInService service;
  OperatorReport report;
  {
    OperatorEndpoint endpoint(endpoints, service);
    ASSERT_TRUE(endpoint.IsServing());
    EXPECT_EQ(FetchOperatorReport(report), -1);
    service.running = true;
    ASSERT_EQ(FetchOperatorReport(report), 0);
    EXPECT_EQ(Encoded(report), Encoded(Report(3, 2, 5)));
    EXPECT_EQ(RequestReservation(9, ClientId{}, "pc-1"), ReserveOutcome::kAddressTaken);
    EXPECT_EQ(service.reserved, "9 pc-1");
    EXPECT_EQ(AcknowledgeRogueServer(7), 0);
    EXPECT_EQ(AcknowledgeRogueServer(8), -1);
  }
  EXPECT_EQ(FetchOperatorReport(report), -1);
  EXPECT_EQ(RequestReservation(9, ClientId{}, "pc-1"), ReserveOutcome::kNoService);
  EXPECT_EQ(AcknowledgeRogueServer(7), -1);
  unsetenv("TAMRIX_SYSROOT");
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace tamrix
