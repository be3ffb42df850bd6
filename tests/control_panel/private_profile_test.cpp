#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/posix/posix_file_system.h"
#include "platform/private_profile.h"
#include "platform/text_encoding.h"
#include "tests/fakes/fake_file_system.h"

namespace tamrix {
namespace {

TEST(SetProfileValue, EditsTheFileTheWayThePanelExpects) {
  struct Case {
    const char* name;
    const char* before;
    const char* key;
    const char* value;
    const char* after;
  };
  const Case cases[] = {
      {"missing file starts with the header", "", "StartIPAddr", "10.0.0.1",
       "[TAMRIX]\r\nStartIPAddr=10.0.0.1\r\n"},
      {"existing key replaced in place", "[TAMRIX]\r\nA=1\r\nB=2\r\n", "a", "9",
       "[TAMRIX]\r\na=9\r\nB=2\r\n"},
      {"new key goes after the section's last line, before blanks",
       "[TAMRIX]\r\nA=1\r\n\r\n[Other]\r\nB=2\r\n", "C", "3",
       "[TAMRIX]\r\nA=1\r\nC=3\r\n\r\n[Other]\r\nB=2\r\n"},
      {"section matched in any case", "[tamrix]\r\nNTP=time\r\n", "SMTP", "mail",
       "[tamrix]\r\nNTP=time\r\nSMTP=mail\r\n"},
      {"LF lines come back as CRLF", "[TAMRIX]\nNTP=x\n", "A", "", "[TAMRIX]\r\nNTP=x\r\nA=\r\n"},
      {"key of another section untouched", "[X]\r\nA=1\r\n[TAMRIX]\r\n", "A", "2",
       "[X]\r\nA=1\r\n[TAMRIX]\r\nA=2\r\n"},
      {"missing section appended", "[X]\r\nA=1\r\n", "A", "2", "[X]\r\nA=1\r\n[TAMRIX]\r\nA=2\r\n"},
      {"a later copy of the key is dropped", "[TAMRIX]\r\nA=1\r\nB=2\r\nA=3\r\n", "A", "4",
       "[TAMRIX]\r\nA=4\r\nB=2\r\n"},
      {"a line break in a value cannot start a key", "", "A", "1\r\nCheckClient=1",
       "[TAMRIX]\r\nA=1  CheckClient=1\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SetProfileValue(c.before, "TAMRIX", c.key, c.value), c.after) << c.name;
  }
}

TEST(FindProfileValue, ComparesNamesWithoutCaseAndTrimsBlanks) {
  const std::string file = "[Other]\r\nKey=no\r\n[TAMRIX]\r\n  LeaseTime = 60 \r\nX=\"q\"\r\n";
  EXPECT_EQ(FindProfileValue(file, "tamrix", "leasetime"), "60");
  EXPECT_EQ(FindProfileValue(file, "TAMRIX", "X"), "q");
  EXPECT_EQ(FindProfileValue(file, "TAMRIX", "Key"), std::nullopt);
  EXPECT_EQ(FindProfileValue(file, "Other", "KEY"), "no");
}

TEST(FileProfile, ReadsIntegersAndFallsBackWhenMissing) {
  testing::FakeFileSystem files;
  files.files["/w/TAMRIX.INI"] = "[TAMRIX]\r\nLeaseTime=-1\r\nOptPingTry=abc\r\nWait=12ms\r\n";
  const auto profile = OpenPrivateProfile(files, "/w", "TAMRIX.INI");
  EXPECT_EQ(profile->GetInt("TAMRIX", "LeaseTime", 5), -1);
  EXPECT_EQ(profile->GetInt("TAMRIX", "OptPingTry", 5), 0);
  EXPECT_EQ(profile->GetInt("TAMRIX", "Wait", 5), 12);
  EXPECT_EQ(profile->GetInt("TAMRIX", "Missing", 5), 5);
  EXPECT_EQ(profile->GetString("TAMRIX", "Missing", "d"), "d");
}

TEST(FileProfile, ConvertsValuesBetweenUtf8AndCp932) {
  testing::FakeFileSystem files;
  const auto profile = OpenPrivateProfile(files, "/w", "TAMRIX.INI");
  ASSERT_TRUE(profile->WriteString("TAMRIX", "DomainName", "ｶｲｼｬ.例"));
  // Half-width katakana are one byte each in cp932; 例 is 0x97E1.
  EXPECT_EQ(files.files["/w/TAMRIX.INI"], "[TAMRIX]\r\nDomainName=\xB6\xB2\xBC\xAC.\x97\xE1\r\n");
  EXPECT_EQ(profile->GetString("TAMRIX", "DomainName", ""), "ｶｲｼｬ.例");
}

TEST(FileProfile, UsesAnExistingFileInAnyLetterCase) {
  const std::string dir = ::testing::TempDir() + "/profile_case_" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  { std::ofstream(dir + "/tamrix.ini") << "[TAMRIX]\r\nNTP=ntp.example\r\n"; }
  PosixFileSystem files;
  const auto profile = OpenPrivateProfile(files, dir, "TAMRIX.INI");
  EXPECT_EQ(profile->GetString("TAMRIX", "NTP", ""), "ntp.example");
  ASSERT_TRUE(profile->WriteString("TAMRIX", "SMTP", "mail"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/TAMRIX.INI"));
  EXPECT_EQ(files.ReadFile(dir + "/tamrix.ini"), "[TAMRIX]\r\nNTP=ntp.example\r\nSMTP=mail\r\n");
  std::filesystem::remove_all(dir);
}

TEST(TextEncoding, ReplacesWhatHasNoCounterpartAndCutsOnCharacterBoundaries) {
  EXPECT_EQ(Utf8ToCp932("a\xF0\x9F\x98\x80z"), "a?z");  // an emoji has no cp932 form
  EXPECT_EQ(Cp932ToUtf8("\x3C\x96\xB3\x8C\xF8\x3E"), "<無効>");
  EXPECT_EQ(Cp932Prefix("ab\x97\xE1", 3), "ab");
  EXPECT_EQ(Cp932Prefix("ab\x97\xE1", 4), "ab\x97\xE1");
  EXPECT_EQ(Cp932Prefix("\xB6\xB2", 1), "\xB6");
}

}  // namespace
}  // namespace tamrix
