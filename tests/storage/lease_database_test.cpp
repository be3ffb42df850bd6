#include "storage/lease_database.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/lease_store.h"
#include "tests/fakes/fake_file_system.h"

namespace tamrix {
namespace {

constexpr std::uint32_t kStart = 0xC0A80001;  // 192.168.0.1
constexpr std::uint32_t kEnd = 0xC0A80032;    // 192.168.0.50
const char kHeader[] = "C0A80001\r\nC0A80032\r\n";

ClientId Ethernet(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, std::uint8_t e,
                  std::uint8_t f) {
  const std::uint8_t mac[] = {a, b, c, d, e, f};
  return MakeClientId(1, mac, 6);
}

LeaseEntry Entry(std::uint32_t address, std::uint32_t state, const ClientId& client,
                 std::string_view hostName, Seconds expiry) {
  LeaseEntry entry;
  entry.address = address;
  entry.state = state;
  entry.client = client;
  SetHostName(entry, hostName);
  entry.expiry = expiry;
  return entry;
}

LeaseDatabaseFile ParseOrFail(const std::string& bytes) {
  auto file = ParseLeaseDatabase(bytes);
  EXPECT_TRUE(file.has_value()) << bytes;
  return file.value_or(LeaseDatabaseFile{});
}

TEST(FormatLeaseDatabase, WritesTheExactLineLayout) {
  const LeaseEntry entries[] = {
      Entry(0xC0A80005, LEASE_RESERVED, Ethernet(0x00, 0x80, 0xC8, 0x12, 0x34, 0x56), "taro", 0),
      Entry(0xC0A80009, LEASE_RESERVED, ClientId{}, kDisabledHostName, 0),
      Entry(0xC0A8000A, LEASE_BOUND, Ethernet(0, 0, 0, 0, 0, 0x0A), "", 0x5F5E1000),
      Entry(0xC0A8000B, LEASE_GRACE, Ethernet(0, 0, 0, 0, 0, 0x0B), "g", -2),
      Entry(0xC0A8000C, LEASE_FREE, Ethernet(0, 0, 0, 0, 0, 0x0C), "gone", 5),
  };
  const std::string expected = std::string(kHeader) +
                               "C0A80005,07,01,00,80,C8,12,34,56,20000000,00000000,taro\r\n"
                               "C0A80009,00,20000000,00000000,\x3C\x96\xB3\x8C\xF8\x3E\r\n"
                               "C0A8000A,07,01,00,00,00,00,00,0A,80000000,5F5E1000,\r\n"
                               "C0A8000B,07,01,00,00,00,00,00,0B,41000000,FFFFFFFE,g\r\n";
  EXPECT_EQ(FormatLeaseDatabase(kStart, kEnd, entries), expected);
}

TEST(FormatLeaseDatabase, AllFreeTableIsTheHeaderAlone) {
  std::vector<LeaseEntry> entries(50);
  for (std::size_t i = 0; i < entries.size(); ++i) entries[i].address = kStart + i;
  EXPECT_EQ(FormatLeaseDatabase(kStart, kEnd, entries), kHeader);
}

TEST(FormatLeaseDatabase, OnlyAddressesInsideThePoolAreWritten) {
  const LeaseEntry entries[] = {
      Entry(kStart - 1, LEASE_BOUND, Ethernet(0, 0, 0, 0, 0, 1), "below", 0),
      Entry(kStart, LEASE_BOUND, Ethernet(0, 0, 0, 0, 0, 2), "first", 0),
      Entry(kEnd, LEASE_BOUND, Ethernet(0, 0, 0, 0, 0, 3), "last", 0),
      Entry(kEnd + 1, LEASE_BOUND, Ethernet(0, 0, 0, 0, 0, 4), "above", 0),
  };
  const LeaseDatabaseFile file = ParseOrFail(FormatLeaseDatabase(kStart, kEnd, entries));
  ASSERT_EQ(file.leases.size(), 2u);
  EXPECT_EQ(file.leases[0].hostName, "first");
  EXPECT_EQ(file.leases[1].hostName, "last");
}

TEST(FormatLeaseDatabase, ControlBytesOfAHostNameCannotStartALine) {
  const LeaseEntry entries[] = {
      Entry(0xC0A80005, LEASE_BOUND, Ethernet(0, 0, 0, 0, 0, 5), "a\r\nC0A80006,00,20000000,0,x", 0),
      Entry(0xC0A80007, LEASE_BOUND, Ethernet(0, 0, 0, 0, 0, 7), "tab\there\x7F", 0),
  };
  const std::string file = FormatLeaseDatabase(kStart, kEnd, entries);
  EXPECT_NE(file.find(",a??C0A80006,00,20000000,0,x\r\n"), std::string::npos);
  EXPECT_NE(file.find(",tab?here?\r\n"), std::string::npos);
  const LeaseDatabaseFile parsed = ParseOrFail(file);
  ASSERT_EQ(parsed.leases.size(), 2u);
  EXPECT_EQ(parsed.leases[0].address, 0xC0A80005u);
  EXPECT_EQ(parsed.leases[1].address, 0xC0A80007u);
}

TEST(FormatLeaseDatabase, IdentifierLongerThanTheFieldIsLeftOut) {
  LeaseEntry entry = Entry(0xC0A80005, LEASE_BOUND, Ethernet(0, 0, 0, 0, 0, 5), "x", 0);
  entry.client.length = 18;
  EXPECT_EQ(FormatLeaseDatabase(kStart, kEnd, {&entry, 1}), kHeader);
}

TEST(LeaseDatabase, RoundTripKeepsEveryField) {
  ClientId longest;
  longest.length = 17;
  for (int i = 0; i < 17; ++i) longest.bytes[i] = static_cast<std::uint8_t>(0xF0 + i);
  const LeaseEntry entries[] = {
      Entry(0xC0A80002, LEASE_RESERVED, Ethernet(0x00, 0x80, 0xC8, 0x12, 0x34, 0x56), "", 0),
      Entry(0xC0A80003, LEASE_RESERVED, ClientId{}, kConflictHostName, 0),
      Entry(0xC0A80004, LEASE_OFFERED, longest, "pc with blanks ", 1700000030),
      Entry(0xC0A80005, LEASE_BOUND, Ethernet(0, 0, 0, 0, 0, 5), std::string(63, 'h'), -1),
      Entry(0xC0A80006, LEASE_GRACE, Ethernet(0, 0, 0, 0, 0, 6), " lead", 0x7FFFFFFF),
  };
  const LeaseDatabaseFile file = ParseOrFail(FormatLeaseDatabase(kStart, kEnd, entries));
  EXPECT_EQ(file.poolStart, kStart);
  EXPECT_EQ(file.poolEnd, kEnd);
  EXPECT_EQ(file.skippedLines, 0);
  ASSERT_EQ(file.leases.size(), std::size(entries));
  for (std::size_t i = 0; i < std::size(entries); ++i) {
    SCOPED_TRACE(i);
    LeaseEntry restored;
    restored.address = entries[i].address;
    RestoreEntry(file.leases[i], restored);
    EXPECT_EQ(file.leases[i].address, entries[i].address);
    EXPECT_EQ(restored.state, entries[i].state);
    EXPECT_EQ(restored.client, entries[i].client);
    EXPECT_EQ(HostName(restored), HostName(entries[i]));
    EXPECT_EQ(restored.expiry, entries[i].expiry);
    EXPECT_EQ(restored.address, entries[i].address);
  }
}

TEST(ParseLeaseDatabase, LowerCaseShortDigitsAndBlanksReadLikeTheWriterForm) {
  const LeaseDatabaseFile upper = ParseOrFail(std::string(kHeader) +
                                              "C0A80005,07,01,00,80,C8,12,34,56,20000000,00000000,taro\r\n");
  const LeaseDatabaseFile lower = ParseOrFail(
      "  c0a80001\n\tc0a80032 \n"
      " c0a80005, 7,1,0,80,c8, 12,34,56,\t20000000,0,taro\n");
  EXPECT_EQ(lower.poolStart, upper.poolStart);
  EXPECT_EQ(lower.poolEnd, upper.poolEnd);
  ASSERT_EQ(lower.leases.size(), 1u);
  ASSERT_EQ(upper.leases.size(), 1u);
  EXPECT_EQ(lower.leases[0].address, upper.leases[0].address);
  EXPECT_EQ(lower.leases[0].client, upper.leases[0].client);
  EXPECT_EQ(lower.leases[0].state, upper.leases[0].state);
  EXPECT_EQ(lower.leases[0].expiry, upper.leases[0].expiry);
  EXPECT_EQ(lower.leases[0].hostName, upper.leases[0].hostName);
}

TEST(ParseLeaseDatabase, HeaderVariants) {
  struct Case {
    const char* file;
    bool readable;
  };
  const Case cases[] = {
      {"C0A80001\r\nC0A80032\r\n", true},
      {"C0A80001\r\nC0A80032", true},
      {"C0A80001 C0A80032\r\n", true},
      {"\r\nC0A80001\r\n\r\nC0A80032\r\n", true},
      {"", false},
      {"C0A80001\r\n", false},
      {"C0A80001,\r\nC0A80032\r\n", false},
      {"C0A80001\r\nC0A80032,00\r\n", false},
      {"C0A80001\r\nC0A80032 x\r\n", false},
      {"C0A800010\r\nC0A80032\r\n", false},
      {"xyz\r\nC0A80032\r\n", false},
  };
  for (const auto& c : cases) {
    const auto file = ParseLeaseDatabase(c.file);
    EXPECT_EQ(file.has_value(), c.readable) << c.file;
    if (file && c.readable) {
      EXPECT_EQ(file->poolStart, kStart);
      EXPECT_EQ(file->poolEnd, kEnd);
    }
  }
}

TEST(ParseLeaseDatabase, MalformedLineIsSkippedWholeAndTheNextReadsNormally) {
  const std::string good = "C0A80010,01,01,80000000,00000000,next\r\n";
  const std::string tooLong = "C0A80005,00,20000000,00000000," + std::string(235, 'x') + "\r\n";
  const char* const malformed[] = {
      "C0A80005,07,01,00,80,C8,12,34,20000000,00000000,short\r\n",  // fewer bytes than announced
      "C0A80005,12,01,02,03,04,05,06,07,08,09,0A,0B,0C,0D,0E,0F,10,11,12,20000000,0,x\r\n",
      "C0A80005,FF,20000000,00000000,x\r\n",  // length far above 17
      "C0A80005,00,2000000G,00000000,x\r\n",  // non-hex state
      "C0A80005,00,20000000 00000000,x\r\n",  // missing comma
      "C0A80005,00,20000000,00000000\r\n",    // no comma after the expiry
      "C0A80005;00,20000000,00000000,x\r\n",  // no comma after the address
      "C0A80005,007,20000000,00000000,x\r\n", // more digits than the field holds
      "C0A80005,00,200000000,00000000,x\r\n",
      "hello\r\n",
      ",\r\n",
      tooLong.c_str(),
  };
  for (const char* line : malformed) {
    const LeaseDatabaseFile file = ParseOrFail(std::string(kHeader) + line + good);
    EXPECT_EQ(file.skippedLines, 1) << line;
    ASSERT_EQ(file.leases.size(), 1u) << line;
    EXPECT_EQ(file.leases[0].address, 0xC0A80010u) << line;
    EXPECT_EQ(file.leases[0].hostName, "next") << line;
  }
}

TEST(ParseLeaseDatabase, LineTailOfExactly255CharactersIsRead) {
  const std::string tail = "00,20000000,00000000," + std::string(255 - 21, 'x');
  const LeaseDatabaseFile file = ParseOrFail(std::string(kHeader) + "C0A80005," + tail + "\r\n");
  EXPECT_EQ(file.skippedLines, 0);
  ASSERT_EQ(file.leases.size(), 1u);
  EXPECT_EQ(file.leases[0].hostName, std::string(63, 'x'));
}

TEST(ParseLeaseDatabase, HostNameIsTheRestOfTheLine) {
  const LeaseDatabaseFile file = ParseOrFail(std::string(kHeader) +
                                             "C0A80005,00,20000000,00000000,my pc  \r\n"
                                             "C0A80006,00,20000000,00000000,\r\n"
                                             "C0A80007,00,20000000,00000000,a\tb\rc\r\n"
                                             "C0A80008,00,20000000,00000000," +
                                             std::string(100, 'n') + "\r\n");
  ASSERT_EQ(file.leases.size(), 4u);
  EXPECT_EQ(file.leases[0].hostName, "my pc  ");
  EXPECT_EQ(file.leases[1].hostName, "");
  EXPECT_EQ(file.leases[2].hostName, "a?b?c");
  EXPECT_EQ(file.leases[3].hostName, std::string(63, 'n'));
}

TEST(ParseLeaseDatabase, BlankLinesAreNotCountedAndLastLineNeedsNoLineEnd) {
  const LeaseDatabaseFile file =
      ParseOrFail(std::string(kHeader) + "\r\n  \r\nC0A80005,00,20000000,00000000,x");
  EXPECT_EQ(file.skippedLines, 0);
  ASSERT_EQ(file.leases.size(), 1u);
  EXPECT_EQ(file.leases[0].hostName, "x");
}

// What the panel and setup read is TAMRIX.db with the journal folded in, last line winning; a
// journal written after the pool changed stands alone. A writer folds the journal and drops it.
TEST(LeaseStore, ReadersSeeTheJournalAndWritersFoldIt) {
  testing::FakeFileSystem files;
  const LeaseFiles where = LeaseFiles::Beside("/win/TAMRIX.db");
  const ClientId pc = Ethernet(0, 0xA0, 0xC9, 1, 2, 3);
  const LeaseEntry printer = Entry(kStart + 1, LEASE_RESERVED, pc, "printer", 0);
  files.files[where.database] = FormatLeaseDatabase(kStart, kEnd, std::vector{printer});
  files.files[where.journal] = std::string(kHeader) +
                               FormatLeaseLine(Entry(kStart + 2, LEASE_BOUND, pc, "a", 5)) +
                               FormatLeaseLine(Entry(kStart + 1, LEASE_FREE, pc, "", 0)) +
                               FormatLeaseLine(Entry(kStart + 3, LEASE_BOUND, pc, "b", 6)) +
                               "C0A80005,01";  // cut short by a crash
  LeaseDatabaseRead read = ReadLeaseDatabase(files, where);
  EXPECT_EQ(read.status, LeaseDatabaseStatus::kRead);
  ASSERT_EQ(read.file.leases.size(), 2u);
  EXPECT_EQ(read.file.leases[0].address, kStart + 2);
  EXPECT_EQ(read.file.leases[1].hostName, "b");
  EXPECT_EQ(read.journalLines, 3u);
  EXPECT_TRUE(read.journalTorn);

  files.files[where.journal] = "C0A80001\r\nC0A80009\r\n";
  read = ReadLeaseDatabase(files, where);
  EXPECT_EQ(read.file.poolEnd, kStart + 8);
  EXPECT_TRUE(read.file.leases.empty());

  files.files[where.database] = "\xEF\xBB\xBF\x00garbage";
  ASSERT_TRUE(WriteLeaseDatabase(files, where, kHeader));
  EXPECT_EQ(files.files[where.database], kHeader);
  EXPECT_EQ(files.files["/win/TAMRIX.db.bad"], "\xEF\xBB\xBF\x00garbage");
  EXPECT_EQ(files.files.count(where.journal), 0u);
}

}  // namespace
}  // namespace tamrix
