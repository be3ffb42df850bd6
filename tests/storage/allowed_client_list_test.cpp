#include "storage/allowed_client_list.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "tests/fakes/fake_file_system.h"

namespace tamrix {
namespace {

ClientId Id(std::initializer_list<std::uint8_t> bytes) {
  ClientId id;
  id.length = static_cast<std::uint8_t>(bytes.size());
  std::size_t i = 0;
  for (std::uint8_t b : bytes) id.bytes[i++] = b;
  return id;
}

std::vector<std::string> Texts(const AllowedClientList& list) {
  std::vector<std::string> texts;
  for (const auto& entry : list.entries()) texts.push_back(FormatClientId(entry.id));
  return texts;
}

TEST(AllowedClientList, ShorterIdentifierSortsFirstWhateverTheFileOrder) {
  for (const char* file : {"03,01,00,AA,short\r\n07,01,00,00,AA,00,00,BB,long\r\n",
                           "07,01,00,00,AA,00,00,BB,long\r\n03,01,00,AA,short\r\n"}) {
    AllowedClientList list;
    EXPECT_EQ(ParseAllowedClientList(file, list), 0);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"01:00AA", "01:0000AA0000BB"})) << file;
  }
}

TEST(AllowedClientList, EqualLengthsSortByUnsignedBytes) {
  AllowedClientList list;
  for (const ClientId& id : {Id({1, 0x80}), Id({1, 0x7F}), Id({0xFF}), Id({1, 0x00}), Id({0x01})}) {
    EXPECT_EQ(list.InsertAllowedClient(id), 0) << FormatClientId(id);
  }
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"01:", "FF:", "01:00", "01:7F", "01:80"}));
}

TEST(AllowedClientList, InsertRefusesEmptyOverlongAndDuplicate) {
  AllowedClientList list;
  ClientId overlong = Id({1, 2, 3});
  overlong.length = 18;
  EXPECT_EQ(list.InsertAllowedClient(ClientId{}), -1);
  EXPECT_EQ(list.InsertAllowedClient(overlong), -1);
  EXPECT_EQ(list.InsertAllowedClient(Id({1, 2, 3}), "first"), 0);
  EXPECT_EQ(list.InsertAllowedClient(Id({1, 2, 3}), "again"), -1);
  ASSERT_EQ(list.entries().size(), 1u);
  EXPECT_EQ(list.entries()[0].comment, "first");
}

TEST(AllowedClientList, LookupNeedsLengthAndBytesToMatch) {
  AllowedClientList list;
  ASSERT_EQ(list.InsertAllowedClient(Id({1, 0x00, 0x80, 0xC8, 0x12, 0x34, 0x56})), 0);
  ClientId listed = Id({1, 0x00, 0x80, 0xC8, 0x12, 0x34, 0x56});
  EXPECT_EQ(list.IsAllowedClient(listed), 1);
  ClientId shorter = listed;
  shorter.length = 6;  // same leading bytes, other length
  EXPECT_EQ(list.IsAllowedClient(shorter), 0);
  ClientId longer = listed;
  longer.length = 8;
  EXPECT_EQ(list.IsAllowedClient(longer), 0);
  ClientId invalid = listed;
  invalid.length = 0x80;  // negative as a signed byte
  EXPECT_EQ(list.IsAllowedClient(invalid), 0);
  EXPECT_EQ(list.IsAllowedClient(ClientId{}), 0);
  // Bytes beyond the length do not matter.
  listed.bytes[12] = 0xEE;
  EXPECT_EQ(list.IsAllowedClient(listed), 1);
}

TEST(ParseAllowedClientList, SkipsLinesItCannotTake) {
  const char* const skipped[] = {
      "00,foo\r\n",                                                          // length 0
      "12,01,02,03,04,05,06,07,08,09,0A,0B,0C,0D,0E,0F,10,11,12,x\r\n",      // length 18
      "07,01,00,80,C8,12,34,taro\r\n",                                       // fewer bytes than said
      "07,01,00,80,C8,12,34\r\n",                                            // line ends early
      " 07,01,00,80,C8,12,34,56,x\r\n",                                      // no hex digit first
      "#07,01,00,80,C8,12,34,56,x\r\n",
      "taro\r\n",
      "07;01,00,80,C8,12,34,56,x\r\n",
      "07,01,00,80,C8,12,34,5G,x\r\n",
      "007,01,00,80,C8,12,34,56,x\r\n",
  };
  const std::string good = "02,01,AA,ok\r\n";
  for (const char* line : skipped) {
    AllowedClientList list;
    EXPECT_EQ(ParseAllowedClientList(line + good, list), 1) << line;
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"01:AA"})) << line;
  }
}

TEST(ParseAllowedClientList, DuplicateLinesLoadOnce) {
  AllowedClientList list;
  EXPECT_EQ(ParseAllowedClientList("02,01,AA,one\r\n02,01,aa,two\r\n", list), 1);
  ASSERT_EQ(list.entries().size(), 1u);
  EXPECT_EQ(list.entries()[0].comment, "one");
}

TEST(ParseAllowedClientList, LongUnorderedFileLoadsAsInsertingLineByLine) {
  // Unordered, mostly repeats with comments of their own, a few refused: a load that loses,
  // misplaces or keeps the wrong one of equal entries shows.
  std::string file;
  AllowedClientList oneByOne;
  int refused = 0;
  for (std::uint32_t n = 0; n < 3000; ++n) {
    const std::uint32_t key = (n * 2654435761u) >> 22;
    ClientId id = Id({1, static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key >> 8)});
    id.length = n % 500 == 7 ? 0 : static_cast<std::uint8_t>(key % 3 + 1);
    AllowedClientList single;
    single.InsertAllowedClient(id, "c" + std::to_string(n));
    file += id.IsValid() ? FormatAllowedClientList(single) : "00,refused\r\n";
    if (oneByOne.InsertAllowedClient(id, "c" + std::to_string(n)) != 0) ++refused;
  }
  AllowedClientList loaded;
  EXPECT_EQ(ParseAllowedClientList(file, loaded), refused);
  EXPECT_EQ(FormatAllowedClientList(loaded), FormatAllowedClientList(oneByOne));
  for (const auto& entry : oneByOne.entries()) EXPECT_EQ(loaded.IsAllowedClient(entry.id), 1);
  EXPECT_EQ(loaded.IsAllowedClient(Id({1, 0xFF, 0xFF})), 0);  // keys stop at 0x3FF
}

TEST(ParseAllowedClientList, CommentRunsToTheLineEnd) {
  AllowedClientList list;
  // Each word of the comment looks like an entry of its own; none may become one.
  const std::string file = "07,01,00,80,C8,12,34,56,taro 02,01,AA, 01,05,\r\n";
  EXPECT_EQ(ParseAllowedClientList(file, list), 0);
  ASSERT_EQ(list.entries().size(), 1u);
  EXPECT_EQ(list.entries()[0].comment, "taro 02,01,AA, 01,05,");
}

TEST(ParseAllowedClientList, LongCommentIsCutAndControlBytesReplaced) {
  AllowedClientList list;
  const std::string file = "02,01,AA," + std::string(100, 'c') + "\r\n02,01,BB,a\tb\rc\n";
  EXPECT_EQ(ParseAllowedClientList(file, list), 0);
  ASSERT_EQ(list.entries().size(), 2u);
  EXPECT_EQ(list.entries()[0].comment, std::string(79, 'c'));
  EXPECT_EQ(list.entries()[1].comment, "a?b?c");
}

TEST(ParseAllowedClientList, LenientFormsOfAWellMeantLine) {
  AllowedClientList list;
  // Lower case, a single digit, LF ends, no comma after the last byte, no final line end.
  EXPECT_EQ(ParseAllowedClientList("2,1,aa,\n3,1,b,CC\n\n  \n2,1,DD", list), 0);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"01:AA", "01:DD", "01:0BCC"}));
  for (const auto& entry : list.entries()) EXPECT_EQ(entry.comment, "");
}

TEST(ParseAllowedClientList, EmptyOrUselessFileGivesAnEmptyList) {
  AllowedClientList list;
  list.InsertAllowedClient(Id({1, 2}));
  EXPECT_EQ(ParseAllowedClientList("", list), 0);
  EXPECT_TRUE(list.entries().empty());
  EXPECT_EQ(ParseAllowedClientList("none here\r\n;\r\n", list), 2);
  EXPECT_TRUE(list.entries().empty());
}

TEST(FormatAllowedClientList, WritesTheExactLinesAndReadsBack) {
  AllowedClientList list;
  list.InsertAllowedClient(Id({1, 0x00, 0x80, 0xC8, 0x12, 0x34, 0x56}), "taro");
  list.InsertAllowedClient(Id({0xFF}), "");
  list.InsertAllowedClient(Id({1, 2}), "two words\r\n03,01,02,03,");
  list.InsertAllowedClient(Id({1, 3}), std::string(90, 'z'));
  const std::string file = FormatAllowedClientList(list);
  EXPECT_EQ(file,
            "01,FF,\r\n"
            "02,01,02,two words??03,01,02,03,\r\n"
            "02,01,03," + std::string(79, 'z') + "\r\n"
            "07,01,00,80,C8,12,34,56,taro\r\n");
  AllowedClientList back;
  EXPECT_EQ(ParseAllowedClientList(file, back), 0);
  EXPECT_EQ(Texts(back), Texts(list));
  EXPECT_EQ(back.entries()[1].comment, "two words??03,01,02,03,");
}

TEST(LoadAllowedClientList, ReadsTheFileOrEmptiesTheList) {
  testing::FakeFileSystem files;
  AllowedClientList list;
  list.InsertAllowedClient(Id({1, 9}));
  EXPECT_EQ(LoadAllowedClientList(files, "/win", list), -1);
  EXPECT_TRUE(list.entries().empty());
  files.files["/win/TAMRIX.db2"] = "02,01,AA,x\r\n";
  EXPECT_EQ(LoadAllowedClientList(files, "/win", list), 0);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"01:AA"}));
}

}  // namespace
}  // namespace tamrix
