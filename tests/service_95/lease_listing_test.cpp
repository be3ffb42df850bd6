#include "service_95/tools/lease_listing.h"

#include <gtest/gtest.h>

namespace tamrix {
namespace {

TEST(LeaseListingTest, StateNamesCoverEveryWordAndShowOthersInHex) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {LEASE_FREE, "free"},   {LEASE_RESERVED, "reserved"}, {LEASE_OFFERED, "offered"},
      {LEASE_BOUND, "bound"}, {LEASE_GRACE, "grace"},       {0x12345678, "12345678"},
  };
  for (const auto& [state, name] : cases) EXPECT_EQ(LeaseStateName(state), name);
}

TEST(LeaseListingTest, RowShowsAddressStateUtcExpiryUtf8HostAndClient) {
  LeaseEntry entry;
  entry.state = LEASE_BOUND;
  entry.address = 0xC0000264;  // 192.0.2.100
  entry.expiry = 1'800'000'000;
  SetHostName(entry, kConflictHostName);
  const std::uint8_t mac[] = {0x00, 0xA0, 0xC9, 0x12, 0x34, 0x56};
  entry.client = MakeClientId(1, mac, 6);
  const std::string row = FormatLeaseRow(entry);
  EXPECT_EQ(row.substr(0, 15), "192.0.2.100    ");
  EXPECT_NE(row.find(" bound "), std::string::npos) << row;
  EXPECT_NE(row.find("2027-01-15T08:00:00Z"), std::string::npos) << row;
  EXPECT_NE(row.find("<競合検出>"), std::string::npos) << row;  // converted from cp932
  EXPECT_NE(row.find("01:00A0C9123456"), std::string::npos) << row;
  // Whole days are floored, not cut toward zero, before the epoch.
  EXPECT_EQ(FormatExpiry(-1), "1969-12-31T23:59:59Z");
}

TEST(LeaseListingTest, EmptyFieldsShowADash) {
  LeaseEntry entry;
  entry.address = 0xC0000265;
  EXPECT_EQ(FormatExpiry(0), "-");
  EXPECT_EQ(FormatLeaseRow(entry),
            "192.0.2.101      free      -                     -                 -");
}

// The client column starts at the same terminal column whatever the host name's script: the
// rows differ in bytes only by the extra bytes UTF-8 spends on each character.
TEST(LeaseListingTest, ClientColumnLinesUpAfterWideAndHalfWidthHostNames) {
  auto clientOffset = [](std::string_view cp932Host) {
    LeaseEntry entry;
    entry.address = 0xC0000264;
    SetHostName(entry, cp932Host);
    const std::uint8_t mac[] = {1, 2, 3, 4, 5, 6};
    entry.client = MakeClientId(1, mac, 6);
    return FormatLeaseRow(entry).find("01:010203040506");
  };
  const std::size_t ascii = clientOffset("abcdefghij");
  EXPECT_EQ(clientOffset(kConflictHostName), ascii + 4);  // <競合検出>: 4 kanji, 3 bytes, 2 wide
  EXPECT_EQ(clientOffset("\xBB\xB0\xCB\xDE\xBD"), ascii + 10);  // ｻｰﾋﾞｽ: 3 bytes, 1 wide
}

TEST(LeaseListingTest, ClientIdFormIsReadBackOrRefused) {
  const auto id = ParseClientIdForm("01:00a0C9123456");
  ASSERT_TRUE(id);
  EXPECT_EQ(FormatClientId(*id), "01:00A0C9123456");
  EXPECT_EQ(ParseClientIdForm("FF:")->length, 1);
  EXPECT_EQ(ParseClientIdForm("01:00112233445566778899AABBCCDDEEFF")->length, 17);
  for (const char* bad : {"", "01", "0100A0C9123456", "01:0", "01:GG", "0:12",
                          "01:00112233445566778899AABBCCDDEEFF00"}) {
    EXPECT_FALSE(ParseClientIdForm(bad)) << bad;
  }
}

}  // namespace
}  // namespace tamrix
