#include <gtest/gtest.h>

#include "control_panel/client_id_text.h"
#include "control_panel/reserve_page.h"
#include "tests/fakes/fake_file_system.h"

namespace tamrix {
namespace {

constexpr const char* kDb = "/w/TAMRIX.db";

TEST(ParseClientIdText, AcceptsOnlyTheColonForm) {
  struct Case {
    const char* text;
    int length;  // 0 = failure
  };
  const Case cases[] = {
      {"01:00A0C9123456", 7}, {"0100A0C9123456", 0}, {"01", 0},       {"01:00A0C912345", 0},
      {"01:", 1},             {"ff:aB", 2},          {"01-00", 0},    {"zz:00", 0},
      {"01:0G", 2},           {"01:G0", 0},          {" 1: 2", 2},    {"01:  ", 0},
      {"01:000102030405060708090A0B0C0D0E0F", 17},
      {"01:000102030405060708090A0B0C0D0E0F10", 0},  // 18 bytes
  };
  for (const auto& c : cases) {
    const auto id = ParseClientIdText(c.text);
    EXPECT_EQ(id ? id->length : 0, c.length) << c.text;
  }
  const auto id = ParseClientIdText("01:00A0C9123456");
  ASSERT_TRUE(id);
  EXPECT_EQ(FormatClientId(*id), "01:00A0C9123456");
  EXPECT_EQ(ParseClientIdText("01:0G")->bytes[1], 0);  // reading stops at the first non-hex
}

class ReservePageTest : public ::testing::Test {
 protected:
  ReservePageTest() {
    settings.StartIPAddr = "192.168.0.1";
    settings.EndIPAddr = "192.168.0.10";
  }

  void Fields(const char* id, const char* host, const char* address) {
    page.clientId = id;
    page.hostName = host;
    page.address = address;
  }
  EditResult ReserveFor(const char* id, const char* host, const char* address) {
    Fields(id, host, address);
    return page.Reserve();
  }
  EditResult DisableAt(const char* address) {
    page.address = address;
    return page.Disable();
  }

  testing::FakeFileSystem files;
  PanelSettings settings;
  ReservePage page{settings};
};

TEST_F(ReservePageTest, ReserveRefusals) {
  struct Case {
    const char* id;
    const char* host;
    const char* address;
    int message;
  };
  const Case cases[] = {
      {"01:0000", "", "", 125},
      {"", "h", "", 126},
      {"01:0000", "h", "", 127},
      {"01:0000", "h", "0", 128},
      {"01:0000", "h", "255.255.255.255", 128},
      {"01:0000", "h", "bogus", 128},
      {"01:0000", "h", "192.168.0.0", 129},
      {"01:0000", "h", "192.168.0.11", 129},
      {"bad", "h", "192.168.0.5", 130},
      {"0100", "h", "192.168.0.5", 130},
  };
  for (const auto& c : cases) {
    const EditResult result = ReserveFor(c.id, c.host, c.address);
    EXPECT_EQ(result.message, c.message) << c.id << " " << c.host << " " << c.address;
    EXPECT_FALSE(result.modified);
  }
  EXPECT_TRUE(page.ListLines().empty());
}

TEST_F(ReservePageTest, ReserveListsTheEntryAndAClientKeepsOneAddress) {
  EXPECT_EQ(ReserveFor("01:00A0C9123456", "taro", "192.168.0.5").message, 0);
  EXPECT_EQ(page.ListLines(), (std::vector<std::string>{"+\t192.168.  0.  5\ttaro"}));
  const EditResult second = ReserveFor("01:00A0C9123456", "taro", "192.168.0.7");
  EXPECT_EQ(second.message, 0);
  EXPECT_TRUE(second.modified);
  EXPECT_EQ(page.ListLines(), (std::vector<std::string>{"+\t192.168.  0.  7\ttaro"}));
  EXPECT_EQ(ReserveFor("01:00A0C9999999", "jiro", "192.168.0.7").message, 131);
}

TEST_F(ReservePageTest, DisableRefusalsAndDisabledEntries) {
  EXPECT_EQ(DisableAt("").message, 127);
  EXPECT_EQ(DisableAt("1.2.3.4.5").message, 128);
  EXPECT_EQ(DisableAt("192.168.0.11").message, 129);
  EXPECT_EQ(DisableAt("192.168.0.3").message, 0);
  EXPECT_EQ(page.ListLines(), (std::vector<std::string>{"+\t192.168.  0.  3\t<無効>"}));
  EXPECT_EQ(DisableAt("192.168.0.3").message, 132);
  EXPECT_EQ(ReserveFor("01:0000", "h", "192.168.0.3").message, 131);
}

TEST_F(ReservePageTest, LeasesFromTheServiceAreListedReservedAndReleased) {
  files.files[kDb] =
      "C0A80001\r\nC0A8000A\r\n"
      "C0A80002,07,01,00,A0,C9,12,34,56,80000000,5F000000,taro\r\n"
      "C0A80004,03,01,AA,BB,40000000,5F000000,\r\n";
  page.Load(files, kDb);
  EXPECT_EQ(page.ListLines(), (std::vector<std::string>{" \t192.168.  0.  2\ttaro",
                                                        " \t192.168.  0.  4\t"}));
  EXPECT_EQ(DisableAt("192.168.0.2").message, 132);
  EXPECT_EQ(ReserveFor("01:AABB", "x", "192.168.0.2").message, 131);
  // The client's own lease turns into its reservation.
  EXPECT_EQ(ReserveFor("01:00A0C9123456", "taro", "192.168.0.2").message, 0);
  EXPECT_EQ(page.ListLines()[0], "+\t192.168.  0.  2\ttaro");
  // Any entry in use can be released.
  page.selectedRow = 1;
  EXPECT_TRUE(page.Release().modified);
  EXPECT_EQ(page.ListLines().size(), 1u);
}

TEST_F(ReservePageTest, BrowseAndReleaseNeedASelection) {
  ReserveFor("01:00A0C9123456", "taro", "192.168.0.5");
  Fields("", "", "");
  page.selectedRow = -1;
  EXPECT_EQ(page.Browse().message, 124);
  EXPECT_EQ(page.Release().message, 124);
  EXPECT_FALSE(page.BrowseEnabled());
  page.selectedRow = 0;
  EXPECT_EQ(page.Browse().message, 0);
  EXPECT_EQ(page.address, "192.168.0.5");
  EXPECT_EQ(page.clientId, "01:00A0C9123456");
  EXPECT_EQ(page.hostName, "taro");
  EXPECT_TRUE(page.ReleaseEnabled());
  page.selectedRow = 3;
  EXPECT_EQ(page.Browse().message, 124);  // no such row
}

TEST_F(ReservePageTest, SavedFileLoadsBackAndSavesToTheSameBytes) {
  ReserveFor("01:00A0C9123456", "ﾀﾛｳ", "192.168.0.5");
  DisableAt("192.168.0.9");
  ReserveFor("01:0080C8123456", "taro", "192.168.0.10");
  ASSERT_TRUE(page.Save(files, kDb));
  const std::string first = files.files[kDb];
  EXPECT_EQ(first,
            "C0A80001\r\nC0A8000A\r\n"
            "C0A80005,07,01,00,A0,C9,12,34,56,20000000,00000000,\xC0\xDB\xB3\r\n"
            "C0A80009,00,20000000,00000000,<\x96\xB3\x8C\xF8>\r\n"
            "C0A8000A,07,01,00,80,C8,12,34,56,20000000,00000000,taro\r\n");
  ReservePage again(settings);
  again.Load(files, kDb);
  EXPECT_EQ(again.ListLines(), page.ListLines());
  ASSERT_TRUE(again.Save(files, kDb));
  EXPECT_EQ(files.files[kDb], first);
}

TEST_F(ReservePageTest, AFileOfAnotherPoolIsIgnoredAndRewritten) {
  files.files[kDb] =
      "C0A80001\r\nC0A80032\r\nC0A80005,03,01,AA,BB,20000000,00000000,old\r\n";
  page.Load(files, kDb);
  EXPECT_TRUE(page.ListLines().empty());
  ASSERT_TRUE(page.Save(files, kDb));
  EXPECT_EQ(files.files[kDb], "C0A80001\r\nC0A8000A\r\n");
}

TEST_F(ReservePageTest, MissingFileGivesAnEmptyTable) {
  page.Load(files, kDb);
  EXPECT_TRUE(page.ListLines().empty());
}

TEST_F(ReservePageTest, ANewPoolStartKeepsTheEntriesThatStillFit) {
  ReserveFor("01:00A0C9123456", "taro", "192.168.0.5");
  ReserveFor("01:00A0C9123457", "jiro", "192.168.0.2");
  settings.StartIPAddr = "192.168.0.4";
  settings.EndIPAddr = "192.168.0.20";
  EXPECT_EQ(page.ListLines(), (std::vector<std::string>{"+\t192.168.  0.  5\ttaro"}));
  // An address beyond the old table's 256 slots is found in the moved table.
  EXPECT_EQ(ReserveFor("01:0000", "h", "192.168.0.20").message, 0);
  ASSERT_TRUE(page.Save(files, kDb));
  EXPECT_EQ(files.files[kDb].substr(0, 20), "C0A80004\r\nC0A80014\r\n");
}

TEST_F(ReservePageTest, LongHostNamesAreCutOnACharacterBoundary) {
  std::string name(62, 'a');
  name += "例";  // two bytes in cp932: would end at byte 64
  ReserveFor("01:00", name.c_str(), "192.168.0.1");
  EXPECT_EQ(page.ListLines()[0], "+\t192.168.  0.  1\t" + std::string(62, 'a'));
}

TEST(CurrentPool, CountsAtMost256AndNothingForAnUnusableRange) {
  struct Case {
    const char* start;
    const char* end;
    int count;
  };
  const Case cases[] = {{"192.168.0.1", "192.168.1.0", 256}, {"192.168.0.1", "192.168.2.0", 256},
                        {"192.168.0.1", "192.168.0.1", 1},   {"192.168.0.9", "192.168.0.1", 0},
                        {"", "192.168.0.1", 0},              {"192.168.0.1", "x", 0}};
  for (const auto& c : cases) {
    PanelSettings s;
    s.StartIPAddr = c.start;
    s.EndIPAddr = c.end;
    EXPECT_EQ(CurrentPool(s).count, c.count) << c.start << "-" << c.end;
  }
}

}  // namespace
}  // namespace tamrix
