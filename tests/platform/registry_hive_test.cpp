#include "platform/registry_hive.h"

#include <gtest/gtest.h>

#include <random>

namespace tamrix {
namespace {

constexpr const char* kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\VORMEL";

struct TypedValue {
  const char* label;
  std::string name;
  std::uint32_t type;
  std::string data;
};

// Every type, and names and data holding the bytes the text form must escape.
TEST(RegistryHiveText, EveryValueSurvivesTheTextForm) {
  const TypedValue cases[] = {
      {"string with NUL", "TAMRIXs", REG_SZ, RegistryStringData("/usr/local/lib/TAMRIX/TAMRIXs.exe")},
      {"expand string", "EventMessageFile", REG_EXPAND_SZ, RegistryStringData("C:\\W\\TAMXEVT.DLL")},
      {"dword", "TypesSupported", REG_DWORD, RegistryDwordData(7)},
      {"dword high bytes", "Big", REG_DWORD, RegistryDwordData(0xF01FF0A5)},
      {"binary", "Blob", REG_BINARY, std::string("\x00\xff\x10\x25", 4)},
      {"short dword", "Odd", REG_DWORD, std::string("\x01\x02", 2)},
      {"unknown type", "Multi", 7, std::string("a\0b\0\0", 5)},
      {"escaped bytes", "%\"[]=\n\x82\xa0", REG_SZ, std::string("\"%]\r\n\x81\x40\0", 8)},
      {"empty name and data", "", REG_BINARY, ""},
  };
  RegistryHive hive;
  ASSERT_EQ(hive.CreateKey(kKey, false, nullptr), ERROR_SUCCESS);
  for (const TypedValue& c : cases) ASSERT_EQ(hive.SetValue(kKey, c.name, c.type, c.data), 0);

  RegistryHive reread;
  const std::string text = hive.Serialize(false);
  EXPECT_EQ(reread.Load(text, false), 0) << text;
  for (const TypedValue& c : cases) {
    RegistryValue value;
    ASSERT_EQ(reread.QueryValue(kKey, c.name, &value, kRegistryNoLimit), ERROR_SUCCESS) << c.label;
    EXPECT_EQ(value.type, c.type) << c.label;
    EXPECT_EQ(value.data, c.data) << c.label;
  }
  EXPECT_EQ(reread.Serialize(false), text);
}

TEST(RegistryHiveText, StringsStayReadable) {
  RegistryHive hive;
  hive.CreateKey(kKey, false, nullptr);
  hive.SetValue(kKey, "TAMRIXs", REG_SZ, RegistryStringData("/usr/local/lib/TAMRIX/TAMRIXs.exe"));
  hive.SetValue(kKey, "Start", REG_DWORD, RegistryDwordData(2));
  const std::string text = hive.Serialize(false);
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\VORMEL]\n;id "), std::string::npos) << text;
  EXPECT_NE(text.find("\n\"TAMRIXs\"=sz:\"/usr/local/lib/TAMRIX/TAMRIXs.exe%00\"\n"
                      "\"Start\"=dword:00000002\n"),
            std::string::npos)
      << text;
}

// A handle tells its key from a later one of the same name by the key's identity, which must
// therefore survive the file and differ between creations; files written before identities
// existed keep reading and writing the same.
TEST(RegistryHiveText, EveryCreationHasItsOwnIdentityThatTheTextKeeps) {
  RegistryHive hive;
  hive.CreateKey(kKey, false, nullptr);
  const std::uint64_t first = hive.KeyId(kKey).value_or(0);
  EXPECT_NE(first, 0u);
  RegistryHive reread;
  EXPECT_EQ(reread.Load(hive.Serialize(false), false), 0);
  EXPECT_EQ(reread.KeyId(kKey), first);
  ASSERT_EQ(hive.DeleteKey(kKey), ERROR_SUCCESS);
  hive.CreateKey(kKey, false, nullptr);
  EXPECT_NE(hive.KeyId(kKey).value_or(first), first);
  EXPECT_EQ(hive.KeyId("HKEY_LOCAL_MACHINE"), 0u);

  const std::string older = "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"Start\"=dword:00000002\n";
  RegistryHive legacy;
  EXPECT_EQ(legacy.Load(older, false), 0);
  EXPECT_EQ(legacy.KeyId("HKEY_LOCAL_MACHINE\\SOFTWARE"), 0u);
  EXPECT_EQ(legacy.Serialize(false), older);
}

// A bad value line is skipped and counted; its neighbours are still read.
TEST(RegistryHiveText, MalformedValueLinesAreSkippedAndCounted) {
  const char* bad[] = {
      "\"NoEquals\"",
      "\"Name\"=sz:\"unterminated",
      "\"Name\"=sz:\"text\"trailing",
      "\"Name\"=dword:123",
      "\"Name\"=dword:zzzzzzzz",
      "\"Name\"=binary:abc",
      "\"Name\"=hex(x):00",
      "\"Name\"=hex(99999999999):00",
      "\"Name\"=hex(3)00",
      "\"Name\"=weird:00",
      "\"Bad%G1\"=binary:00",
      "\"Bad%4\"=binary:00",
      "Unquoted=binary:00",
  };
  for (const char* line : bad) {
    const std::string text = std::string("[") + kKey + "]\n\"Before\"=dword:00000001\n" + line +
                             "\n\"After\"=dword:00000002\n";
    RegistryHive hive;
    EXPECT_EQ(hive.Load(text, false), 1) << line;
    RegistryValue value;
    EXPECT_EQ(hive.QueryValue(kKey, "Before", &value, kRegistryNoLimit), ERROR_SUCCESS) << line;
    EXPECT_EQ(hive.QueryValue(kKey, "After", &value, kRegistryNoLimit), ERROR_SUCCESS) << line;
  }
}

// The values under a bad key line must not land in the key before it.
TEST(RegistryHiveText, ValuesUnderABadKeyLineAreSkippedWithIt) {
  const char* bad[] = {
      "[HKEY_CLASSES_ROOT\\X]",
      "[HKEY_LOCAL_MACHINE]",
      "[HKEY_LOCAL_MACHINE\\a\\\\b]",
      "[HKEY_LOCAL_MACHINE\\open",
  };
  for (const char* line : bad) {
    const std::string text = std::string("[") + kKey + "]\n\"Before\"=dword:00000001\n" + line +
                             "\n\"After\"=dword:00000002\n";
    RegistryHive hive;
    EXPECT_EQ(hive.Load(text, false), 2) << line;
    RegistryValue value;
    EXPECT_EQ(hive.QueryValue(kKey, "Before", &value, kRegistryNoLimit), ERROR_SUCCESS) << line;
    EXPECT_EQ(hive.QueryValue(kKey, "After", &value, kRegistryNoLimit), ERROR_FILE_NOT_FOUND)
        << line;
  }
}

TEST(RegistryHiveText, ValuesAfterABadKeyLineBelongToNoKey) {
  RegistryHive hive;
  EXPECT_EQ(hive.Load("\"Orphan\"=dword:00000001\n[nonsense]\n\"Lost\"=dword:00000001\n", false), 3);
  EXPECT_EQ(hive.Serialize(false), "");
}

TEST(RegistryHiveText, ArbitraryBytesNeverBreakTheReader) {
  std::mt19937 random(12345);
  static const char kAlphabet[] = "[]\"=%:\\\n\r0123456789abcdefxsz_()HKEY_LOCAL_MACHINE\x00\xff";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 200);
    for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    RegistryHive hive;
    hive.Load(text, round % 2 == 0);
    RegistryHive again;
    // Whatever was accepted writes out in a form that reads back whole.
    EXPECT_EQ(again.Load(hive.Serialize(round % 2 == 0), round % 2 == 0), 0);
  }
}

TEST(RegistryPaths, SubkeyPathsAreChecked) {
  const struct {
    const char* subKey;
    bool valid;
  } cases[] = {
      {"SOFTWARE", true},          {"SOFTWARE\\VORMEL\\TAMRIX", true}, {"", false},
      {"\\SOFTWARE", false},       {"SOFTWARE\\", false},              {"SOFTWARE\\\\X", false},
  };
  for (const auto& c : cases) {
    std::string path;
    EXPECT_EQ(JoinRegistryPath("HKEY_LOCAL_MACHINE", c.subKey, &path), c.valid) << c.subKey;
  }
}

TEST(RegistryData, DwordsAreLittleEndianAndStringsStopAtNul) {
  EXPECT_EQ(RegistryDwordData(0x01020304), std::string("\x04\x03\x02\x01", 4));
  std::uint32_t number = 0;
  EXPECT_TRUE(RegistryDwordFrom(std::string("\x07\x00\x00\x00", 4), &number));
  EXPECT_EQ(number, 7u);
  EXPECT_FALSE(RegistryDwordFrom("abc", &number));
  EXPECT_EQ(RegistryStringFrom(std::string("abc\0def", 7)), "abc");
  EXPECT_EQ(RegistryStringFrom("no terminator"), "no terminator");
}

}  // namespace
}  // namespace tamrix
