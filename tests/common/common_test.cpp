#include <gtest/gtest.h>

#include "common/address.h"
#include "common/client_id.h"
#include "common/lease_entry.h"
#include "common/time.h"

namespace tamrix {
namespace {

TEST(ParseAddress, AcceptsTheFormsOfTheClassicParser) {
  struct Case {
    const char* text;
    std::uint32_t address;
  };
  const Case cases[] = {
      {"192.168.0.1", 0xC0A80001},  {"10.1", 0x0A000001},        {"10.1.2", 0x0A010002},
      {"3232235521", 0xC0A80001},   {"0xC0A80001", 0xC0A80001},  {"0300.0250.0.1", 0xC0A80001},
      {"0x0A.0.0.1", 0x0A000001},   {"192.168.0.1 ", 0xC0A80001}, {"0", 0},
      {"192.168.0.1 x", 0xC0A80001}, {"10.0.0.1\tcomment", 0x0A000001},
      {"255.255.255.0", 0xFFFFFF00}, {"1.2.65535", 0x0102FFFF},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseAddress(c.text), c.address) << c.text;
}

TEST(ParseAddress, FailureAndAllOnesAreTheSameValue) {
  for (const char* bad : {"256.0.0.1", "1.2.3.4.5", "abc", "1..2", "1.2.3.", "09", "1.2.3.4x",
                          " 1.2.3.4", "0x", "1.16777216", "4294967296"}) {
    EXPECT_EQ(ParseAddress(bad), kAddressNone) << bad;
  }
  EXPECT_EQ(ParseAddress("255.255.255.255"), kAddressNone);
}

TEST(ParseAddress, EmptyTextIsNotConfigured) { EXPECT_EQ(ParseAddress(""), 0u); }

TEST(FormatAddress, MostSignificantByteFirst) {
  EXPECT_EQ(FormatAddress(0xC0A80001), "192.168.0.1");
  EXPECT_EQ(FormatAddress(0), "0.0.0.0");
  EXPECT_EQ(FormatAddress(0xFFFFFFFF), "255.255.255.255");
}

TEST(ClientId, EqualityCountsLengthAndCountedBytesOnly) {
  const std::uint8_t mac[] = {0x00, 0xA0, 0xC9, 0x12, 0x34, 0x56};
  ClientId a = MakeClientId(1, mac, 6);
  ClientId b = a;
  b.bytes[10] = 0x77;  // beyond the counted bytes
  EXPECT_EQ(a, b);
  b.length = 6;  // same bytes, other length
  EXPECT_FALSE(a == b);
  ClientId c = a;
  c.bytes[6] = 0x57;
  EXPECT_FALSE(a == c);
}

TEST(ClientId, ValidityIsOneToSeventeen) {
  ClientId id;
  EXPECT_FALSE(id.IsValid());
  id.length = 1;
  EXPECT_TRUE(id.IsValid());
  id.length = 17;
  EXPECT_TRUE(id.IsValid());
  id.length = 18;
  EXPECT_FALSE(id.IsValid());
}

TEST(FormatClientId, TypeByteColonThenBytes) {
  const std::uint8_t mac[] = {0x00, 0xA0, 0xC9, 0x12, 0x34, 0x56};
  EXPECT_EQ(FormatClientId(MakeClientId(1, mac, 6)), "01:00A0C9123456");
  EXPECT_EQ(FormatClientId(ClientId{}), "");
  ClientId oversize;
  oversize.length = 200;  // never reads past the 17 stored bytes
  EXPECT_EQ(FormatClientId(oversize).size(), 2u + 1u + 16u * 2u);
}

TEST(LeaseEntry, HostNameIsCutTo63AndTerminated) {
  LeaseEntry e;
  SetHostName(e, std::string(100, 'x'));
  EXPECT_EQ(HostName(e), std::string(63, 'x'));
  EXPECT_EQ(e.hostName[63], '\0');
  SetHostName(e, "taro");
  EXPECT_EQ(HostName(e), "taro");
}

TEST(LeaseEntry, StateBitTests) {
  EXPECT_FALSE(IsHeld(LEASE_FREE));
  for (auto s : {LEASE_RESERVED, LEASE_OFFERED, LEASE_BOUND, LEASE_GRACE}) EXPECT_TRUE(IsHeld(s));
  EXPECT_TRUE(HasOfferedBit(LEASE_GRACE));
  EXPECT_TRUE(IsGraceState(LEASE_GRACE));
  EXPECT_FALSE(IsGraceState(LEASE_OFFERED));
}

TEST(SpecialHostNames, AreTheCp932Bytes) {
  EXPECT_EQ(kConflictHostName, std::string_view("\x3C\x8B\xA3\x8D\x87\x8C\x9F\x8F\x6F\x3E"));
  EXPECT_EQ(kDisabledHostName.size(), 6u);
}

TEST(AddSeconds, SaturatesInsteadOfWrapping) {
  EXPECT_EQ(AddSeconds(100, 50), 150);
  EXPECT_EQ(AddSeconds(0x7FFFFF00, 0x1000), 0x7FFFFFFF);
  EXPECT_EQ(AddSeconds(0x7FFFFFFF, 4294967295LL), 0x7FFFFFFF);
}

}  // namespace
}  // namespace tamrix
