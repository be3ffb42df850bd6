#include <gtest/gtest.h>

#include "control_panel/client_page.h"
#include "tests/control_panel/recording_profile.h"
#include "tests/fakes/fake_file_system.h"

namespace tamrix {
namespace {

constexpr const char* kDb2 = "/w/TAMRIX.db2";

class ClientPageTest : public ::testing::Test {
 protected:
  ClientPageTest() { page.checkClient = true; }

  EditResult AddClient(const char* id, const char* comment) {
    page.clientId = id;
    page.comment = comment;
    return page.Add();
  }

  testing::FakeFileSystem files;
  ClientPage page;
};

TEST_F(ClientPageTest, AddRefusalsAndTheirEffect) {
  struct Case {
    const char* id;
    int message;
    bool modified;
  };
  const Case cases[] = {
      {"", 126, false},
      {"0100A0C9123456", 130, false},
      {"01", 130, false},
      {"01:00A0C9123456", 0, true},
      {"01:00A0C9123456", 138, true},
  };
  for (const auto& c : cases) {
    const EditResult result = AddClient(c.id, "printer");
    EXPECT_EQ(result.message, c.message) << c.id;
    EXPECT_EQ(result.modified, c.modified) << c.id;
  }
  EXPECT_EQ(page.ListLines(), (std::vector<std::string>{"01:00A0C9123456\tprinter"}));
  EXPECT_EQ(page.clientId, "01:00A0C9123456");  // the fields keep their text
}

TEST_F(ClientPageTest, ListsShortestFirstThenByBytes) {
  AddClient("01:0000AA0000BB", "b");
  AddClient("01:00BB", "c");
  AddClient("01:00AA", "a");
  EXPECT_EQ(page.ListLines(), (std::vector<std::string>{"01:00AA\ta", "01:00BB\tc",
                                                        "01:0000AA0000BB\tb"}));
}

TEST_F(ClientPageTest, RemoveNeedsASelection) {
  AddClient("01:00AA", "a");
  AddClient("01:00BB", "b");
  page.selectedRow = -1;
  EXPECT_EQ(page.Remove().message, 124);
  page.selectedRow = 0;
  EXPECT_TRUE(page.Remove().modified);
  EXPECT_EQ(page.ListLines(), (std::vector<std::string>{"01:00BB\tb"}));
  EXPECT_EQ(page.selectedRow, -1);
}

TEST_F(ClientPageTest, ApplyWritesTheSwitchAndTheFileEvenWhenOff) {
  AddClient("01:00A0C9123456", "printer");
  AddClient("01:00AA", "ﾌﾟﾘﾝﾀ");
  page.checkClient = false;
  PanelSettings s;
  s.CheckClient = 1;
  testing::RecordingProfile profile;
  page.Apply(s, profile, files, kDb2);
  EXPECT_EQ(s.CheckClient, 0);
  EXPECT_EQ(profile.writes, (std::vector<std::string>{"CheckClient"}));
  EXPECT_EQ(files.files[kDb2],
            "03,01,00,AA,\xCC\xDF\xD8\xDD\xC0\r\n07,01,00,A0,C9,12,34,56,printer\r\n");
  ClientPage again;
  LoadClientList(files, kDb2, again.list);
  EXPECT_EQ(again.ListLines(), page.ListLines());
}

TEST_F(ClientPageTest, LongCommentsAreCutToTheFieldOnACharacterBoundary) {
  std::string comment(77, 'c');
  comment += "例";
  AddClient("01:00", comment.c_str());
  EXPECT_EQ(page.list.entries()[0].comment, std::string(77, 'c'));
}

}  // namespace
}  // namespace tamrix
