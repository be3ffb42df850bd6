#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "platform/posix/icmp_probe.h"

namespace tamrix {
namespace {

constexpr std::uint32_t kTarget = 0xC0000201;  // 192.0.2.1
constexpr std::uint16_t kId = 0x1234;
constexpr std::uint16_t kSeq = 0x0102;

// An echo reply to (id, seq) wrapped in an IPv4 header from `source`, checksums right.
std::vector<std::uint8_t> ReplyPacket(std::uint32_t source, std::uint16_t id, std::uint16_t seq,
                                      std::uint8_t type = 0) {
  std::vector<std::uint8_t> icmp = BuildEchoRequest(id, seq);
  icmp[0] = type;
  icmp[2] = icmp[3] = 0;
  const std::uint16_t sum = InternetChecksum(icmp);
  icmp[2] = static_cast<std::uint8_t>(sum >> 8);
  icmp[3] = static_cast<std::uint8_t>(sum);
  // Sized up front: growing a 20-byte vector by insert trips a false -Warray-bounds in GCC 12.
  static constexpr std::uint8_t kHeader[20] = {0x45, 0, 0,  0, 0, 0, 0,  0, 64, 1,
                                               0,    0, 10, 0, 0, 9, 10, 0, 0,  2};
  std::vector<std::uint8_t> packet(sizeof kHeader + icmp.size());
  std::copy(std::begin(kHeader), std::end(kHeader), packet.begin());
  std::copy(icmp.begin(), icmp.end(), packet.begin() + sizeof kHeader);
  const std::size_t total = packet.size();
  packet[2] = static_cast<std::uint8_t>(total >> 8);
  packet[3] = static_cast<std::uint8_t>(total);
  for (int i = 0; i < 4; ++i) packet[12 + i] = static_cast<std::uint8_t>(source >> (24 - 8 * i));
  return packet;
}

// Decodes like the raw-socket path: IP header, checksum, then the match.
bool Accepted(const std::vector<std::uint8_t>& packet) {
  std::uint32_t from = 0;
  auto icmp = IcmpInsideIpv4(packet, from);
  return icmp && InternetChecksum(*icmp) == 0 && IsOurEchoReply(*icmp, from, kTarget, kId, kSeq);
}

TEST(IcmpReplyTest, EchoRequestCarriesSixtyFourBytesAndAValidChecksum) {
  const auto request = BuildEchoRequest(kId, kSeq);
  ASSERT_EQ(request.size(), 8u + 64u);
  EXPECT_EQ(request[0], 8);
  EXPECT_EQ(request[1], 0);
  EXPECT_EQ(request[4], 0x12);
  EXPECT_EQ(request[5], 0x34);
  EXPECT_EQ(request[6], 0x01);
  EXPECT_EQ(request[7], 0x02);
  EXPECT_EQ(InternetChecksum(request), 0);
}

TEST(IcmpReplyTest, OnlyOurReplyFromTheProbedAddressCounts) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> packet;
    bool accepted;
  };
  std::vector<Case> cases = {
      {"right address, id and sequence", ReplyPacket(kTarget, kId, kSeq), true},
      {"another address", ReplyPacket(kTarget + 1, kId, kSeq), false},
      {"another probe's identifier", ReplyPacket(kTarget, kId + 1, kSeq), false},
      {"an earlier sequence", ReplyPacket(kTarget, kId, kSeq - 1), false},
      {"an echo request, not a reply", ReplyPacket(kTarget, kId, kSeq, 8), false},
      {"destination unreachable", ReplyPacket(kTarget, kId, kSeq, 3), false},
  };
  auto damaged = ReplyPacket(kTarget, kId, kSeq);
  damaged.back() ^= 0xFF;
  cases.push_back({"damaged checksum", damaged, false});
  auto notIcmp = ReplyPacket(kTarget, kId, kSeq);
  notIcmp[9] = 17;
  cases.push_back({"UDP, not ICMP", notIcmp, false});
  auto withOptions = ReplyPacket(kTarget, kId, kSeq);
  withOptions[0] = 0x46;  // a 24-byte header: the ICMP message no longer starts where it did
  cases.push_back({"header length pointing into the message", withOptions, false});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Accepted(c.packet), c.accepted);
  }
}

TEST(IcmpReplyTest, MalformedPacketsAreRefusedWithoutReadingPastThem) {
  const auto good = ReplyPacket(kTarget, kId, kSeq);
  std::uint32_t from = 0;
  for (std::size_t size : {0u, 1u, 19u}) {
    SCOPED_TRACE(size);
    EXPECT_FALSE(IcmpInsideIpv4(std::span(good).first(size), from));
  }
  auto huge = good;
  huge[0] = 0x4F;  // 60-byte header, longer than a 20-byte packet
  EXPECT_FALSE(IcmpInsideIpv4(std::span(huge).first(40), from));
  auto v6 = good;
  v6[0] = 0x65;
  EXPECT_FALSE(IcmpInsideIpv4(v6, from));
  auto shortTotal = good;
  shortTotal[2] = 0;
  shortTotal[3] = 10;  // total length below the header's
  EXPECT_FALSE(IcmpInsideIpv4(shortTotal, from));
  // A packet cut short: the ICMP part ends where the bytes end.
  auto cut = IcmpInsideIpv4(std::span(good).first(24), from);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->size(), 4u);
  EXPECT_FALSE(IsOurEchoReply(*cut, from, kTarget, kId, kSeq));
}

}  // namespace
}  // namespace tamrix
