#include "platform/posix/file_registry.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/platform/temp_machine.h"

namespace tamrix {
namespace {

using testing::TempMachine;

constexpr const char* kMaker = "SOFTWARE\\VORMEL\\TAMRIX";
constexpr const char* kRunServices = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";

class FileRegistryTest : public ::testing::Test {
 protected:
  FileRegistryTest() { EXPECT_FALSE(machine.paths.root.empty()); }

  // Opens (creating) a key and leaves it to the registry object to forget at the end.
  RegistryKey Create(FileRegistry& registry, const char* path, std::uint32_t options = 0) {
    RegistryKey key = 0;
    EXPECT_EQ(registry.CreateKey(HKEY_LOCAL_MACHINE, path, options, KEY_ALL_ACCESS, &key), 0);
    return key;
  }

  TempMachine machine;
};

TEST_F(FileRegistryTest, ValuesWrittenByOneObjectAreReadByAnother) {
  FileRegistry writer(machine.paths, "boot-1");
  const RegistryKey key = Create(writer, kRunServices);
  ASSERT_EQ(writer.SetValue(key, "TAMRIXs", REG_SZ, RegistryStringData("/x/TAMRIXs.exe")), 0);
  ASSERT_EQ(writer.SetValue(key, "Count", REG_DWORD, RegistryDwordData(7)), 0);
  EXPECT_EQ(writer.CloseKey(key), 0);
  EXPECT_EQ(writer.OpenHandleCount(), 0u);

  FileRegistry reader(machine.paths, "boot-1");
  RegistryKey again = 0;
  ASSERT_EQ(reader.OpenKey(HKEY_LOCAL_MACHINE, kRunServices, KEY_READ, &again), 0);
  RegistryValue value;
  ASSERT_EQ(reader.QueryValue(again, "TAMRIXs", &value), 0);
  EXPECT_EQ(value.type, REG_SZ);
  EXPECT_EQ(value.data, RegistryStringData("/x/TAMRIXs.exe"));
  ASSERT_EQ(reader.QueryValue(again, "count", &value), 0);
  EXPECT_EQ(value.data, RegistryDwordData(7));
}

TEST_F(FileRegistryTest, NamesCompareWithoutLetterCaseAndKeepTheirFirstSpelling) {
  FileRegistry registry(machine.paths, "boot-1");
  const RegistryKey key = Create(registry, "SOFTWARE\\Vormel");
  registry.SetValue(key, "Name", REG_SZ, RegistryStringData("a"));
  RegistryKey other = 0;
  bool created = true;
  ASSERT_EQ(registry.CreateKey(HKEY_LOCAL_MACHINE, "software\\VORMEL", 0, KEY_ALL_ACCESS, &other,
                               &created),
            0);
  EXPECT_FALSE(created);
  ASSERT_EQ(registry.SetValue(other, "NAME", REG_SZ, RegistryStringData("b")), 0);
  RegistryValue value;
  ASSERT_EQ(registry.QueryValue(key, "name", &value), 0);
  EXPECT_EQ(value.data, RegistryStringData("b"));

  std::vector<std::string> names;
  ASSERT_EQ(registry.ListValues(key, &names), 0);
  EXPECT_EQ(names, std::vector<std::string>{"Name"});
  RegistryKey software = 0;
  ASSERT_EQ(registry.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, &software), 0);
  ASSERT_EQ(registry.ListSubkeys(software, &names), 0);
  EXPECT_EQ(names, std::vector<std::string>{"Vormel"});
}

TEST_F(FileRegistryTest, MissingThingsGiveFileNotFound) {
  FileRegistry registry(machine.paths, "boot-1");
  RegistryKey key = 0;
  EXPECT_EQ(registry.OpenKey(HKEY_LOCAL_MACHINE, kRunServices, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(registry.DeleteKey(HKEY_LOCAL_MACHINE, kMaker), ERROR_FILE_NOT_FOUND);
  key = Create(registry, kRunServices);
  RegistryValue value;
  EXPECT_EQ(registry.QueryValue(key, "TAMRIXs", &value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(registry.DeleteValue(key, "TAMRIXs"), ERROR_FILE_NOT_FOUND);
  registry.SetValue(key, "TAMRIXs", REG_SZ, RegistryStringData("p"));
  EXPECT_EQ(registry.DeleteValue(key, "TAMRIXs"), 0);
  EXPECT_EQ(registry.DeleteValue(key, "TAMRIXs"), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileRegistryTest, BadHandlesPathsAndOptionsAreRefused) {
  FileRegistry registry(machine.paths, "boot-1");
  RegistryKey key = 0;
  RegistryValue value;
  EXPECT_EQ(registry.QueryValue(0x1234, "x", &value), ERROR_INVALID_HANDLE);
  EXPECT_EQ(registry.CloseKey(0x1234), ERROR_INVALID_HANDLE);
  EXPECT_EQ(registry.CreateKey(HKEY_LOCAL_MACHINE, "", 0, KEY_ALL_ACCESS, &key),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(registry.CreateKey(HKEY_LOCAL_MACHINE, "A\\\\B", 0, KEY_ALL_ACCESS, &key),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(registry.CreateKey(HKEY_LOCAL_MACHINE, "A", 4, KEY_ALL_ACCESS, &key),
            ERROR_INVALID_PARAMETER);
  key = Create(registry, "A");
  EXPECT_EQ(registry.CloseKey(key), 0);
  EXPECT_EQ(registry.CloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(FileRegistryTest, SmallBufferGetsMoreDataWithTypeAndSize) {
  FileRegistry registry(machine.paths, "boot-1");
  const RegistryKey key = Create(registry, kRunServices);
  const std::string path = RegistryStringData(std::string(300, 'p'));
  registry.SetValue(key, "TAMRIXs", REG_SZ, path);
  RegistryValue value;
  EXPECT_EQ(registry.QueryValue(key, "TAMRIXs", &value, 256), ERROR_MORE_DATA);
  EXPECT_EQ(value.type, REG_SZ);
  EXPECT_EQ(value.size, path.size());
  EXPECT_TRUE(value.data.empty());
  EXPECT_EQ(registry.QueryValue(key, "TAMRIXs", &value, path.size()), 0);
  EXPECT_EQ(value.data, path);
}

// The uninstaller deletes the maker key and then its parent; a parent with children refuses.
TEST_F(FileRegistryTest, AKeyWithSubkeysIsNotDeleted) {
  FileRegistry registry(machine.paths, "boot-1");
  registry.CloseKey(Create(registry, kMaker));
  EXPECT_EQ(registry.DeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\VORMEL"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(registry.DeleteKey(HKEY_LOCAL_MACHINE, kMaker), 0);
  EXPECT_EQ(registry.DeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\VORMEL"), 0);
  RegistryKey key = 0;
  EXPECT_EQ(registry.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, &key), 0);
}

TEST_F(FileRegistryTest, AHandleToADeletedKeyReportsIt) {
  FileRegistry registry(machine.paths, "boot-1");
  FileRegistry otherProcess(machine.paths, "boot-1");
  const RegistryKey key = Create(registry, kMaker);
  ASSERT_EQ(otherProcess.DeleteKey(HKEY_LOCAL_MACHINE, kMaker), 0);
  EXPECT_EQ(registry.SetValue(key, "x", REG_DWORD, RegistryDwordData(1)), ERROR_KEY_DELETED);
  // A key of the same name created since is another key: the handle must not write into it.
  otherProcess.CloseKey(Create(otherProcess, kMaker));
  EXPECT_EQ(registry.SetValue(key, "x", REG_DWORD, RegistryDwordData(1)), ERROR_KEY_DELETED);
  RegistryKey child = 0;
  EXPECT_EQ(registry.CreateKey(key, "Child", 0, KEY_ALL_ACCESS, &child), ERROR_KEY_DELETED);
  EXPECT_EQ(registry.CloseKey(key), 0);
}

// A batch is one step for everyone else: a reader in another process sees both values of a batch
// or neither, and a batch that fails part-way leaves nothing.
TEST_F(FileRegistryTest, ABatchLandsWholeOrNotAtAll) {
  constexpr int kBatches = 30;
  FileRegistry registry(machine.paths, "boot-1");
  EXPECT_EQ(registry.Atomically(true,
                                [&] {
                                  const RegistryKey key = Create(registry, kMaker);
                                  registry.SetValue(key, "a", REG_DWORD, RegistryDwordData(1));
                                  return ERROR_WRITE_FAULT;
                                }),
            ERROR_WRITE_FAULT);
  RegistryKey key = 0;
  EXPECT_EQ(registry.OpenKey(HKEY_LOCAL_MACHINE, kMaker, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(registry.Atomically(false, [&] { return registry.DeleteKey(HKEY_LOCAL_MACHINE, "x"); }),
            ERROR_ACCESS_DENIED);

  key = Create(registry, kMaker);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FileRegistry reader(machine.paths, "boot-1");
    RegistryKey readerKey = 0;
    if (reader.OpenKey(HKEY_LOCAL_MACHINE, kMaker, KEY_READ, &readerKey) != 0) ::_exit(1);
    for (int seen = -1, reads = 0; seen < kBatches; ++reads) {
      if (reads == 100000) ::_exit(3);
      RegistryValue a, b;
      const int code = reader.Atomically(false, [&] {
        const int first = reader.QueryValue(readerKey, "a", &a);
        return first != 0 ? first : reader.QueryValue(readerKey, "b", &b);
      });
      if (code == ERROR_FILE_NOT_FOUND) continue;
      if (code != 0 || a.data != b.data) ::_exit(2);
      std::uint32_t n = 0;
      RegistryDwordFrom(a.data, &n);
      seen = static_cast<int>(n);
    }
    ::_exit(0);
  }
  for (int i = 1; i <= kBatches; ++i) {
    ASSERT_EQ(registry.Atomically(true,
                                  [&] {
                                    registry.SetValue(key, "a", REG_DWORD, RegistryDwordData(i));
                                    return registry.SetValue(key, "b", REG_DWORD,
                                                             RegistryDwordData(i));
                                  }),
              0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(FileRegistryTest, VolatileKeysLastUntilTheNextBoot) {
  {
    FileRegistry registry(machine.paths, "boot-1");
    bool created = false;
    RegistryKey key = 0;
    ASSERT_EQ(registry.CreateKey(HKEY_LOCAL_MACHINE, kMaker, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                 &key, &created),
              0);
    EXPECT_TRUE(created);
    registry.CloseKey(Create(registry, "SOFTWARE\\Lasting"));
    // A non-volatile key may not sit under a volatile one.
    RegistryKey child = 0;
    EXPECT_EQ(registry.CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\VORMEL\\TAMRIX\\Child", 0,
                                 KEY_ALL_ACCESS, &child),
              ERROR_CHILD_MUST_BE_VOLATILE);
  }
  const auto exists = [&](const char* bootId, const char* path) {
    FileRegistry registry(machine.paths, bootId);
    RegistryKey key = 0;
    return registry.OpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ, &key) == 0;
  };
  EXPECT_TRUE(exists("boot-1", kMaker));
  EXPECT_FALSE(exists("boot-2", kMaker));  // the kernel says this is another boot
  EXPECT_TRUE(exists("boot-2", "SOFTWARE\\Lasting"));
  EXPECT_TRUE(exists("boot-1", kMaker));
  std::filesystem::remove_all(machine.paths.RunDirectory());  // what a boot does to /run
  EXPECT_FALSE(exists("boot-1", kMaker));
  EXPECT_TRUE(exists("boot-1", "SOFTWARE\\Lasting"));
  // Keys made on the way to a volatile key last: only the key asked for is volatile.
  EXPECT_TRUE(exists("boot-1", "SOFTWARE\\VORMEL"));
}

// Two processes adding values at the same time must not lose each other's writes.
TEST_F(FileRegistryTest, ConcurrentWritersFromTwoProcessesKeepEveryValue) {
  constexpr int kWrites = 40;
  {
    FileRegistry registry(machine.paths, "boot-1");
    registry.CloseKey(Create(registry, kRunServices));
  }
  const auto writeMany = [&](const char* prefix) {
    FileRegistry registry(machine.paths, "boot-1");
    RegistryKey key = 0;
    if (registry.OpenKey(HKEY_LOCAL_MACHINE, kRunServices, KEY_ALL_ACCESS, &key) != 0) return 1;
    for (int i = 0; i < kWrites; ++i) {
      const std::string name = prefix + std::to_string(i);
      if (registry.SetValue(key, name, REG_DWORD, RegistryDwordData(i)) != 0) return 1;
    }
    return 0;
  };
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(writeMany("child"));
  const int parentResult = writeMany("parent");
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(parentResult, 0);

  FileRegistry registry(machine.paths, "boot-1");
  RegistryKey key = 0;
  ASSERT_EQ(registry.OpenKey(HKEY_LOCAL_MACHINE, kRunServices, KEY_READ, &key), 0);
  std::vector<std::string> names;
  ASSERT_EQ(registry.ListValues(key, &names), 0);
  EXPECT_EQ(names.size(), 2u * kWrites);
}

// A crash between writing the temporary file and renaming it leaves the temporary behind.
TEST_F(FileRegistryTest, ALeftoverTemporaryFileIsIgnored) {
  FileRegistry registry(machine.paths, "boot-1");
  const RegistryKey key = Create(registry, kRunServices);
  registry.SetValue(key, "TAMRIXs", REG_SZ, RegistryStringData("good"));
  std::ofstream(registry.HivePath() + ".Ab12Cd")
      << "[HKEY_LOCAL_MACHINE\\" << kRunServices << "]\n\"TAMRIXs\"=sz:\"half-writ";
  RegistryValue value;
  ASSERT_EQ(registry.QueryValue(key, "TAMRIXs", &value), 0);
  EXPECT_EQ(value.data, RegistryStringData("good"));
  EXPECT_EQ(registry.SkippedLines(), 0);
}

TEST_F(FileRegistryTest, ACorruptHiveIsReadAsFarAsItMakesSense) {
  {
    FileRegistry registry(machine.paths, "boot-1");
    registry.CloseKey(Create(registry, "SOFTWARE"));
  }
  FileRegistry registry(machine.paths, "boot-1");
  std::string garbage = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Good]\n\"A\"=dword:00000001\n";
  garbage += std::string("\x00\xff[\"=%%\n", 8);
  garbage += "\"B\"=sz:\"cut";  // ends without a newline or closing quote
  std::ofstream(registry.HivePath(), std::ios::binary) << garbage;
  RegistryKey key = 0;
  ASSERT_EQ(registry.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Good", KEY_READ, &key), 0);
  RegistryValue value;
  EXPECT_EQ(registry.QueryValue(key, "A", &value), 0);
  EXPECT_EQ(registry.QueryValue(key, "B", &value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(registry.SkippedLines(), 2);
}

// An operator who may not change the machine's registry is told so, not given a write fault.
TEST_F(FileRegistryTest, AnotherAccountGetsAccessDenied) {
  {
    FileRegistry registry(machine.paths, "boot-1");
    registry.CloseKey(Create(registry, "SOFTWARE"));
  }
  ::chmod(machine.paths.root.c_str(), 0755);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(200);  // cannot drop: not root
    // The registry belongs to root and the operators: another account neither reads nor writes.
    FileRegistry registry(machine.paths, "boot-1");
    RegistryKey key = 0;
    if (registry.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, &key) == 0) ::_exit(201);
    ::_exit(registry.CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", 0, KEY_ALL_ACCESS, &key));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 200) GTEST_SKIP() << "needs root to act as another user";
  EXPECT_EQ(WEXITSTATUS(status), ERROR_ACCESS_DENIED);
}

TEST_F(FileRegistryTest, AMachineWithoutRegistryReadsAsEmptyAndIsNotCreatedByReading) {
  FileRegistry registry(machine.paths, "boot-1");
  RegistryKey key = 0;
  EXPECT_EQ(registry.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(std::filesystem::exists(machine.Path("var/lib/tamrix-registry")));
}

}  // namespace
}  // namespace tamrix
