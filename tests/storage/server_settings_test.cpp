#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "storage/server_settings.h"
#include "tests/fakes/fake_file_system.h"

namespace tamrix {
namespace {

ServerSettings Parse(const std::string& body) { return ParseServerSettings("[TAMRIX]\r\n" + body); }

// Each field compared by name so a failure says which key went astray.
void ExpectSameSettings(const ServerSettings& a, const ServerSettings& b) {
  for (const SettingKey& key : kSettingKeys) {
    if (key.kind == SettingKind::kInteger) {
      EXPECT_EQ(a.*key.number, b.*key.number) << key.name;
    } else {
      EXPECT_EQ(a.*key.text, b.*key.text) << key.name;
    }
  }
}

TEST(SettingKeys, DefaultsOfTheTableMatchTheRecords) {
  // The panel falls back to the table's default for a missing key; a fresh record of either
  // side must start from the same values.
  const ServerSettings defaults;
  const PanelSettings panel;
  for (const SettingKey& key : kSettingKeys) {
    if (key.kind == SettingKind::kInteger) {
      EXPECT_EQ(defaults.*key.number, key.defaultNumber) << key.name;
      EXPECT_EQ(key.text, nullptr) << key.name;
      if (key.panelNumber != nullptr) {
        EXPECT_EQ(panel.*key.panelNumber, key.defaultNumber) << key.name;
      }
    } else {
      EXPECT_TRUE((defaults.*key.text).empty()) << key.name;
      EXPECT_EQ(key.number, nullptr) << key.name;
      if (key.panelText != nullptr) {
        EXPECT_TRUE((panel.*key.panelText).empty()) << key.name;
      }
    }
  }
  EXPECT_EQ(defaults.LeaseTime, -1);
  EXPECT_EQ(defaults.OptPingTry, 1);
  EXPECT_EQ(defaults.OptPingWait, 1000);
}

TEST(SettingKeys, EveryKeyReachesItsOwnField) {
  // A table row pointing at the wrong member would show up as a value landing elsewhere.
  for (std::size_t i = 0; i < kSettingKeys.size(); ++i) {
    const SettingKey& key = kSettingKeys[i];
    const std::string value = key.kind == SettingKind::kInteger ? "4242" : "v" + std::to_string(i);
    const ServerSettings parsed = Parse(std::string(key.name) + "=" + value + "\r\n");
    ServerSettings expected;
    if (key.kind == SettingKind::kInteger) {
      expected.*key.number = 4242;
    } else {
      expected.*key.text = value;
    }
    SCOPED_TRACE(key.name);
    ExpectSameSettings(parsed, expected);
  }
}

TEST(ParseServerSettings, HeaderMustBeExactlyTheSectionName) {
  struct Case {
    const char* file;
    bool taken;
  };
  const Case cases[] = {
      {"[TAMRIX]\r\nLeaseTime=60\r\n", true},
      {"[TAMRIX]\nLeaseTime=60\n", true},
      {"[TAMRIX] \r\nLeaseTime=60\r\n", false},
      {" [TAMRIX]\r\nLeaseTime=60\r\n", false},
      {"[tamrix]\r\nLeaseTime=60\r\n", false},
      {"\r\n[TAMRIX]\r\nLeaseTime=60\r\n", false},
      {"[TAMRIX]\r\r\nLeaseTime=60\r\n", false},
      {"[OTHER]\r\nLeaseTime=60\r\n", false},
      {"LeaseTime=60\r\n", false},
      {"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseServerSettings(c.file).LeaseTime, c.taken ? 60 : -1) << c.file;
  }
}

TEST(ParseServerSettings, AbsentKeysKeepTheirDefaults) {
  const ServerSettings parsed = Parse("StartIPAddr=192.168.0.1\r\n");
  ServerSettings expected;
  expected.StartIPAddr = "192.168.0.1";
  ExpectSameSettings(parsed, expected);
}

TEST(ParseServerSettings, FirstMatchingKeyOfTheTableWins) {
  const ServerSettings nntp = Parse("NNTP=news.example\r\n");
  EXPECT_EQ(nntp.NNTP, "news.example");
  EXPECT_EQ(nntp.NTP, "");
  const ServerSettings ntp = Parse("NTP=time.example\r\n");
  EXPECT_EQ(ntp.NTP, "time.example");
  EXPECT_EQ(ntp.NNTP, "");
}

TEST(ParseServerSettings, LaterLineWinsAndSectionsAreNotRecognised) {
  const ServerSettings parsed =
      Parse("SMTP=first\r\n[Other]\r\nSMTP=second\r\nLeaseTime=600\r\nLeaseTime=3600\r\n");
  EXPECT_EQ(parsed.SMTP, "second");
  EXPECT_EQ(parsed.LeaseTime, 3600);
}

TEST(ParseServerSettings, OnlyLinesBeginningWithKeyAndEqualsAreTaken) {
  const ServerSettings parsed = Parse(
      " LeaseTime=100\r\nLeaseTime =200\r\nleasetime=300\r\n;LeaseTime=400\r\nLeaseTimeX=500\r\n"
      "ExtendTime\r\n\r\n");
  EXPECT_EQ(parsed.LeaseTime, -1);
  EXPECT_EQ(parsed.ExtendTime, 0);
}

TEST(ParseServerSettings, TextsKeepBlanksAndLoseOnlyTheLineEnd) {
  const ServerSettings crlf = Parse("DomainName= example.local \r\nScopeID=a\rb\r\n");
  EXPECT_EQ(crlf.DomainName, " example.local ");
  EXPECT_EQ(crlf.ScopeID, "a\rb");  // a lone CR is text, not a line end
  const ServerSettings lf = Parse("DomainName= example.local \nGateway=\n");
  EXPECT_EQ(lf.DomainName, " example.local ");
  EXPECT_EQ(lf.Gateway, "");
  // The last line without a line end, CR-only ending at the end of the file.
  EXPECT_EQ(ParseServerSettings("[TAMRIX]\r\nNTP=t\r").NTP, "t");
}

TEST(ParseServerSettings, TextsAreCutToTheirField) {
  const std::string longAddress(40, '1');
  const std::string longName(300, 'n');
  const ServerSettings parsed = Parse("SubnetMask=" + longAddress + "\r\nDomainName=" + longName +
                                      "\r\nNTP=" + std::string(255, 't') + "\r\n");
  EXPECT_EQ(parsed.SubnetMask, std::string(31, '1'));
  EXPECT_EQ(parsed.DomainName, std::string(255, 'n'));
  EXPECT_EQ(parsed.NTP, std::string(255, 't'));
}

TEST(ParseServerSettings, ValueEndsAtAZeroByte) {
  using namespace std::string_literals;
  const ServerSettings parsed = Parse("SMTP=mail\0junk\r\nLeaseTime=6\0" "0\r\n"s);
  EXPECT_EQ(parsed.SMTP, "mail");
  EXPECT_EQ(parsed.LeaseTime, 6);
}

TEST(ParseServerSettings, LongLineContinuesAsALineOfItsOwn) {
  // 511 characters reach the reader at once; what follows is examined as the next line.
  const std::string filler = "Comment=" + std::string(kSettingsLineLimit - 8, 'x');
  const ServerSettings parsed = Parse(filler + "LeaseTime=7200\r\n");
  EXPECT_EQ(parsed.LeaseTime, 7200);
  // One character less and the key is part of the first piece: not at a line's start.
  const ServerSettings joined = Parse(filler.substr(1) + "LeaseTime=7200\r\n");
  EXPECT_EQ(joined.LeaseTime, -1);
  // A line of exactly 510 characters plus its CRLF is one line.
  const ServerSettings exact = Parse("ScopeID=" + std::string(502, 's') + "\r\nOptNACK=1\r\n");
  EXPECT_EQ(exact.ScopeID, std::string(255, 's'));
  EXPECT_EQ(exact.OptNACK, 1);
}

TEST(ParseDecimal, ReadsLikeAtoi) {
  struct Case {
    const char* text;
    std::int32_t value;
  };
  const Case cases[] = {
      {"3600", 3600},
      {"-1", -1},
      {"+60", 60},
      {"  \t42", 42},
      {"59abc", 59},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"+-5", 0},
      {"- 5", 0},
      {"007", 7},
      {"12 34", 12},
      {"2147483647", 2147483647},
      {"2147483648", std::numeric_limits<std::int32_t>::max()},
      {"99999999999999999999999999", std::numeric_limits<std::int32_t>::max()},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"-2147483649", std::numeric_limits<std::int32_t>::min()},
      {"-99999999999999999999999999", std::numeric_limits<std::int32_t>::min()},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDecimal(c.text), c.value) << '"' << c.text << '"';
}

TEST(FormatServerSettings, ReadsBackToTheSameRecord) {
  ServerSettings settings;
  settings.StartIPAddr = "192.168.0.1";
  settings.EndIPAddr = "192.168.0.50";
  settings.DomainName = " office.local ";
  settings.ScopeID = "scope\r";  // ends in a CR that is text, not the line end
  settings.LeaseTime = 86400;
  settings.ExtendTime = std::numeric_limits<std::int32_t>::min();
  settings.NTP = "time";
  const std::string file = FormatServerSettings(settings);
  EXPECT_TRUE(file.starts_with("[TAMRIX]\r\nStartIPAddr=192.168.0.1\r\nEndIPAddr=192.168.0.50\r\n"));
  EXPECT_NE(file.find("\r\nLeaseTime=86400\r\nExtendTime=-2147483648\r\n"), std::string::npos);
  ExpectSameSettings(ParseServerSettings(file), settings);
}

TEST(FormatServerSettings, AValueCannotAddALine) {
  ServerSettings settings;
  settings.DomainName = "x\nLeaseTime=5";
  // Uncut, "OptNACK=1" would begin the reader's second piece of the line (and come after the
  // formatter's own OptNACK line, NTP being the last key written).
  settings.NTP = std::string(kSettingsLineLimit - 4, 'm') + "OptNACK=1";
  const ServerSettings parsed = ParseServerSettings(FormatServerSettings(settings));
  EXPECT_EQ(parsed.LeaseTime, -1);
  EXPECT_EQ(parsed.OptNACK, 0);
  EXPECT_EQ(parsed.DomainName, "x?LeaseTime=5");
  EXPECT_EQ(parsed.NTP, std::string(255, 'm'));
}

TEST(LoadServerSettings, ReadsFromTheWindowsDirectory) {
  testing::FakeFileSystem files;
  files.files["/win/TAMRIX.ini"] = "[TAMRIX]\r\nOptUsePing=1\r\n";
  EXPECT_EQ(LoadServerSettings(files, "/win").OptUsePing, 1);
  EXPECT_EQ(LoadServerSettings(files, "/win/").OptUsePing, 1);
}

TEST(LoadServerSettings, MissingFileGivesDefaults) {
  testing::FakeFileSystem files;
  ExpectSameSettings(LoadServerSettings(files, "/win"), ServerSettings{});
}

TEST(LoadServerSettings, UpperCaseFileNameIsTheSameFile) {
  testing::FakeFileSystem files;
  files.files["/win/TAMRIX.INI"] = "[TAMRIX]\r\nCheckClient=1\r\n";
  EXPECT_EQ(LoadServerSettings(files, "/win").CheckClient, 1);
}

}  // namespace
}  // namespace tamrix
