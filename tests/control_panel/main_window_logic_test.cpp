#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "common/file_version.h"
#include "control_panel/installed_versions.h"
#include "control_panel/lease_text.h"
#include "control_panel/status_table.h"
#include "tests/control_panel/fake_lease_source.h"
#include "tests/control_panel/fake_service_control.h"
#include "tests/fakes/fake_file_system.h"

namespace tamrix {
namespace {

using testing::FakeLeaseSource;
using testing::MakeLease;

constexpr Seconds kExpiry = 1'000'000'000;  // 2001-09-09 01:46:40 UTC, 10:46:40 at UTC+9

// Times are shown in local time; the tests fix the zone so the texts are known.
class LocalTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TZ");
    saved_ = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("TZ", "JST-9", 1);
    tzset();
  }
  void TearDown() override {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

using LeaseTextTest = LocalTimeTest;

TEST_F(LeaseTextTest, LineForEveryListedState) {
  const struct {
    LeaseEntry entry;
    const char* line;
  } cases[] = {
      {MakeLease(LEASE_OFFERED, 0xC0A80005, 1, "pc1", kExpiry),
       "*\t192.168.  0.  5\t2001/09/09 10:46:40\tpc1"},
      {MakeLease(LEASE_GRACE, 0x0A000001, 2, "pc2", kExpiry),
       "*\t 10.  0.  0.  1\t2001/09/09 10:46:40\tpc2"},
      {MakeLease(LEASE_BOUND, 0xC0A800FE, 3, "", kExpiry + 3600 * 24 * 120),
       " \t192.168.  0.254\t2002/01/07 10:46:40\t"},
      {MakeLease(LEASE_RESERVED, 0xFFFFFFFF, 4, "printer", 0),
       " \t255.255.255.255\t<無期限>\tprinter"},
      {MakeLease(LEASE_BOUND, 0xC0A80001, 5, std::string(kConflictHostName).c_str(), 0),
       " \t192.168.  0.  1\t<無期限>\t<競合検出>"},
  };
  for (const auto& c : cases) EXPECT_EQ(LeaseLineText(c.entry), c.line);
}

TEST(LeaseStateTextTest, TestedInOrderGraceOfferedBoundReserved) {
  const struct {
    std::uint32_t state;
    const char* text;
    bool allowed;
  } cases[] = {
      {LEASE_GRACE, "リース延長中", true},
      {LEASE_OFFERED, "仮割り当て中", true},
      {LEASE_OFFERED | LEASE_BOUND, "仮割り当て中", true},
      {LEASE_BOUND, "動的割り当て中", true},
      {LEASE_BOUND | LEASE_RESERVED, "動的割り当て中", true},
      {LEASE_RESERVED, "静的割り当て中", false},
      {kGraceBit, "空き", true},  // the grace bit means nothing without the offered bit
      {LEASE_FREE, "空き", true},
  };
  for (const auto& c : cases) {
    const LeaseState state = LeaseStateText(c.state);
    EXPECT_EQ(state.text, c.text) << std::hex << c.state;
    EXPECT_EQ(state.releaseAllowed, c.allowed) << std::hex << c.state;
  }
}

TEST_F(LeaseTextTest, DetailFields) {
  const LeaseDetail detail =
      LeaseDetailText(MakeLease(LEASE_GRACE, 0xC0A80105, 0x56, "pc", kExpiry));
  EXPECT_EQ(detail.address, "192.168.1.5");
  EXPECT_EQ(detail.client, "01:00A0C9123456");
  EXPECT_EQ(detail.hostName, "pc");
  EXPECT_EQ(detail.state.text, "リース延長中");
  EXPECT_EQ(detail.expiry, "2001年09月09日 10時46分40秒");
  EXPECT_EQ(LeaseDetailText(MakeLease(LEASE_RESERVED, 1, 1, "", 0)).expiry, "無期限");
  EXPECT_EQ(ClientIdText(ClientId{}), "");
}

class LeaseListingTest : public LocalTimeTest {
 protected:
  FakeLeaseSource source;
  LeaseListing listing{source};
};

TEST_F(LeaseListingTest, ListsHeldEntriesWithAClientInSnapshotOrder) {
  source.table = {
      MakeLease(LEASE_FREE, 0xC0A80001, 0, "", 0),
      MakeLease(LEASE_RESERVED, 0xC0A80002, 0, "<disabled>", 0),  // a disabled address
      MakeLease(LEASE_FREE, 0xC0A80003, 9, "gone", kExpiry),      // freed, client kept
      MakeLease(LEASE_OFFERED, 0xC0A80004, 4, "offered", kExpiry),
      MakeLease(LEASE_BOUND, 0xC0A80005, 5, "bound", kExpiry),
      MakeLease(LEASE_RESERVED, 0xC0A80006, 6, "printer", 0),
      MakeLease(LEASE_GRACE, 0xC0A80007, 7, "grace", kExpiry),
  };
  const std::vector<std::string> lines = listing.Refresh();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(0, 17), "*\t192.168.  0.  4");
  EXPECT_EQ(lines[1].substr(0, 17), " \t192.168.  0.  5");
  EXPECT_EQ(lines[3].substr(0, 17), "*\t192.168.  0.  7");
  // The third row is the third listed entry, though three hidden ones come before it.
  ASSERT_NE(listing.EntryAtRow(2), nullptr);
  EXPECT_EQ(listing.EntryAtRow(2)->address, 0xC0A80006u);
  EXPECT_EQ(listing.EntryAtRow(3)->address, 0xC0A80007u);
  EXPECT_EQ(listing.EntryAtRow(4), nullptr);
  EXPECT_EQ(listing.EntryAtRow(-1), nullptr);
  EXPECT_EQ(listing.snapshot().count, 7);
}

TEST_F(LeaseListingTest, RefreshReplacesTheRows) {
  source.table = {MakeLease(LEASE_BOUND, 1, 1, "a", 0), MakeLease(LEASE_BOUND, 2, 2, "b", 0)};
  listing.Refresh();
  source.reachable = false;  // the service stopped
  EXPECT_TRUE(listing.Refresh().empty());
  EXPECT_EQ(listing.rowCount(), 0);
  EXPECT_EQ(listing.EntryAtRow(0), nullptr);
}

// A source that answers a count it cannot have filled must not make the list read past the
// snapshot or show entries that were not sent.
TEST_F(LeaseListingTest, CountsOutsideTheSnapshotAreBounded) {
  source.table.assign(kSnapshotCapacity, MakeLease(LEASE_BOUND, 7, 7, "x", 0));
  source.claimedCount = 1000;
  EXPECT_EQ(listing.Refresh().size(), kSnapshotCapacity);
  EXPECT_EQ(listing.snapshot().count, static_cast<int>(kSnapshotCapacity));
  source.claimedCount = -3;
  EXPECT_TRUE(listing.Refresh().empty());
  EXPECT_EQ(listing.snapshot().count, 0);
}

TEST_F(LeaseListingTest, ReleaseNamesTheEntrysAddressHostAndClient) {
  const LeaseEntry entry = MakeLease(LEASE_OFFERED, 0xC0A80009, 9, "pc9", kExpiry);
  source.table = {entry};
  listing.Refresh();
  listing.Release(*listing.EntryAtRow(0));
  ASSERT_EQ(source.releases.size(), 1u);
  EXPECT_EQ(source.releases[0].address, 0xC0A80009u);
  EXPECT_EQ(source.releases[0].hostName, "pc9");
  EXPECT_EQ(source.releases[0].client, entry.client);
  EXPECT_TRUE(listing.Refresh().empty());
}

TEST(StatusTableTest, EveryStatusOnBothPlatforms) {
  const struct {
    ServiceStatus status;
    bool isNT;
    StatusView view;
  } cases[] = {
      {STATUS_STOPPED, true, {"停止中", true, false, false, false, true, IDC_START}},
      {STATUS_RUNNING, true, {"実行中", false, true, true, false, false, IDC_STOP}},
      {STATUS_PAUSED, true, {"一時停止中", false, true, false, true, false, IDC_CONTINUE}},
      {STATUS_UNKNOWN, true, {"無効", false, false, false, false, false, 0}},
      {STATUS_STOPPED, false, {"停止中", true, false, false, false, true, IDC_START}},
      {STATUS_RUNNING, false, {"実行中", false, true, false, false, false, IDC_STOP}},
      {STATUS_PAUSED, false, {"一時停止中", false, true, false, false, false, IDC_STOP}},
      {STATUS_UNKNOWN, false, {"無効", false, false, false, false, false, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatusTable(c.status, c.isNT), c.view) << c.status << (c.isNT ? " NT" : " 95");
  }
}

TEST(StartupChoiceTest, NoneCheckedChangesNothing) {
  testing::FakeServiceControl service;
  service.applied = STARTUP_AUTOMATIC;
  EXPECT_EQ(ChooseStartupType(service, STARTUP_UNKNOWN), -1);
  EXPECT_EQ(service.applied, STARTUP_AUTOMATIC);
  EXPECT_EQ(ChooseStartupType(service, STARTUP_DISABLED), 0);
  EXPECT_EQ(service.applied, STARTUP_DISABLED);
}

TEST(FileVersionTest, FindsTheFirstWellFormedMarker) {
  using namespace std::string_literals;
  const struct {
    std::string bytes;
    std::optional<FileVersion> version;
  } cases[] = {
      {"\x7f"
       "ELF..TAMRIX-FILEVERSION:1.2.1.0\0..."s,
       FileVersion{1, 2, 1, 0}},
      // A reader's own copy of the tag comes first and is passed over.
      {"TAMRIX-FILEVERSION:\0xx TAMRIX-FILEVERSION:65535.0.10.7\0"s, FileVersion{65535, 0, 10, 7}},
      {"TAMRIX-FILEVERSION:1.2.65536.0\0"s, std::nullopt},
      {"TAMRIX-FILEVERSION:1.2.3\0"s, std::nullopt},
      {"TAMRIX-FILEVERSION:1.2.3.4x\0"s, std::nullopt},
      {"TAMRIX-FILEVERSION:1.2.3.4"s, std::nullopt},  // cut off at the end of the file
      {"TAMRIX-FILEVERSION:1..3.4\0"s, std::nullopt},
      {"TAMRIX-FILEVERSION:000001.2.3.4\0"s, std::nullopt},
      {""s, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FindFileVersion(c.bytes), c.version) << c.bytes;
  EXPECT_EQ(FormatFileVersion({1, 20, 300, 65535}), "1.20.300.65535");
}

// This test program carries the project's marker, as every program does.
TEST(FileVersionTest, ReadsTheMarkerBuiltIntoAProgram) {
  std::ifstream self("/proc/self/exe", std::ios::binary);
  std::stringstream bytes;
  bytes << self.rdbuf();
  const auto version = FindFileVersion(bytes.str());
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(FormatFileVersion(*version), TAMRIX_TEST_FILE_VERSION);
}

TEST(InstalledVersionsTest, VersionOrNotAvailable) {
  testing::FakeFileSystem files;
  const std::string folder = "/sys32/TAMRIX/";
  files.files[folder + "TAMRIX.exe"] = std::string("..TAMRIX-FILEVERSION:1.2.1.0\0", 30);
  files.files[folder + "TAMXNTs.EXE"] = std::string("TAMRIX-FILEVERSION:2.0.0.1\0", 27);
  files.files[folder + "TAMXNTs.exe"] = std::string("TAMRIX-FILEVERSION:9.9.9.9\0", 27);
  files.files[folder + "TAMRIXs.exe"] = "no marker here";
  EXPECT_EQ(PanelProgramName(), "TAMRIX.EXE");
  EXPECT_EQ(ServiceProgramName(true), "TAMXNTs.EXE");
  EXPECT_EQ(ServiceProgramName(false), "TAMRIXs.EXE");
  EXPECT_EQ(InstalledFileVersionText(files, "/sys32", PanelProgramName()), "1.2.1.0");
  EXPECT_EQ(InstalledFileVersionText(files, "/sys32/", ServiceProgramName(true)), "2.0.0.1");
  EXPECT_EQ(InstalledFileVersionText(files, "/sys32", ServiceProgramName(false)), "N/A");
  EXPECT_EQ(InstalledFileVersionText(files, "/elsewhere", PanelProgramName()), "N/A");
}

}  // namespace
}  // namespace tamrix
