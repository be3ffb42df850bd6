#include "setup/uninstall.h"

#include <gtest/gtest.h>

#include "setup/install.h"
#include "setup/setup_handlers.h"
#include "tests/setup/setup_rig.h"

namespace tamrix::testing {
namespace {

namespace text = setup_text;

const std::string kPanel = "FindWindow #32770|簡易DHCPｻｰﾋﾞｽ";
const std::string kRunKey =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const std::string kEventKey =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\TAMXNTs";

std::string Del(const std::string& path) {
  return "DeleteFile " + path;
}

TEST(UninstallNtTest, RemovesAnInstallationStepByStep) {
  SetupRig rig;
  rig.PlantInstallation(false);
  rig.registry.Put(kEventKey, "TypesSupported", REG_DWORD, RegistryDwordData(7));
  rig.registry.Put("HKEY_LOCAL_MACHINE\\SOFTWARE\\VORMEL\\TAMRIX", "", REG_SZ, "");
  FakeServiceManager::SetState(*rig.services.Find("TAMXNTs"), SERVICE_RUNNING);
  SetupEnvironment env = rig.Environment(false);
  ASSERT_EQ(RunUninstallation(env), 1);

  const std::string deleting(text::kDeletingFiles);
  const std::vector<Step> expected = {
      {0, std::string(text::kProgressInitialText), {}},
      {10, std::string(text::kDeletingShortcut), {"DeleteShortcut 2 TAMRIXｺﾝﾄﾛｰﾙ"}},
      {20, std::string(text::kUnregisteringService), {kPanel}},
      {40,
       std::string(text::kUnregisteringService),
       {"OpenManager 2", "OpenService TAMXNTs 983551", "ControlService TAMXNTs 1",
        "DeleteService TAMXNTs", "Sleep 500"}},
      {45, deleting, {Del("/sys/TAMRIX/TAMXNTs.exe")}},
      {50, deleting, {Del("/sys/TAMRIX/TAMRIX.exe")}},
      {55, deleting, {Del("/sys/TAMRIX/TAMRIX.hlp")}},
      {60, deleting, {Del("/sys/TAMRIX/TAMRIX.cnt")}},
      {65, deleting, {Del("/sys/TAMRIX/TAMRIX.gid")}},
      {70, deleting, {Del("/sys/TAMRIX/TAMXEVT.dll")}},
      {75, deleting, {"RemoveDirectory /sys/TAMRIX"}},
      {80, deleting, {Del("/win/TAMRIX.db"), Del("/win/TAMRIX.jnl")}},
      {85, deleting, {Del("/win/TAMRIX.db2")}},
      {90, deleting, {Del("/win/TAMRIX.ini"), Del("/win/TAMRIX.INI")}},
      {100, deleting, {}},
      {SetupRig::kClosed, std::string(text::kDone), {"Sleep 500"}},
  };
  EXPECT_EQ(rig.steps, expected);
  EXPECT_EQ(rig.captions, std::vector<std::string>{"ｱﾝｲﾝｽﾄｰﾙ"});
  EXPECT_EQ(rig.Collect(),
            (std::vector<std::string>{"DeleteKey HKEY_LOCAL_MACHINE\\SOFTWARE\\VORMEL\\TAMRIX",
                                      "DeleteKey HKEY_LOCAL_MACHINE\\SOFTWARE\\VORMEL",
                                      "Message " + std::string(text::kString104) + " 64"}));
  EXPECT_TRUE(rig.services.services.empty());
  EXPECT_TRUE(rig.shortcuts.entries.empty());
  EXPECT_EQ(rig.files.files.size(), 6u);  // only the distribution's own files are left
  EXPECT_EQ(rig.files.directories.count("/sys/TAMRIX"), 0u);
  EXPECT_FALSE(rig.registry.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\VORMEL"));
  // The event source stays for a later installation to write again.
  EXPECT_TRUE(rig.registry.HasKey(kEventKey));
  EXPECT_TRUE(rig.HandlesClosed());
}

TEST(UninstallWin95Test, RemovesAnInstallationStepByStep) {
  SetupRig rig;
  rig.PlantInstallation(true);
  rig.windows.Plant(text::k95ServiceClass, text::k95ServiceTitle, 1);
  // The service writes its database while it stops; that file must still go.
  rig.files.files.erase("/win/TAMRIX.db");
  rig.windows.onClose[FakeWindowSystem::Key(text::k95ServiceClass, text::k95ServiceTitle)] =
      [&rig] { rig.files.files["/win/TAMRIX.db"] = "leases at stop"; };
  SetupEnvironment env = rig.Environment(true);
  ASSERT_EQ(RunUninstallation(env), 1);

  const std::string deleting(text::kDeletingFiles);
  const std::string unregistering(text::kUnregisteringService);
  const std::string service = "FindWindow TAMRIXs_Class|TAMRIXs";
  const std::vector<Step> expected = {
      {0, std::string(text::kProgressInitialText), {}},
      {10, std::string(text::kDeletingShortcut), {"DeleteShortcut 2 TAMRIXｺﾝﾄﾛｰﾙ"}},
      {20, unregistering, {kPanel}},
      {30,
       unregistering,
       {service, "SendMessage TAMRIXs_Class|TAMRIXs 16", service, service, "Sleep 1050"}},
      {40, unregistering, {"CreateKey " + kRunKey + " 0", "DeleteValue " + kRunKey + " TAMRIXs"}},
      {45, deleting, {Del("/sys/TAMRIX/TAMRIXs.exe")}},
      {50, deleting, {Del("/sys/TAMRIX/TAMRIX.exe")}},
      {55, deleting, {Del("/sys/TAMRIX/TAMRIX.hlp")}},
      {60, deleting, {Del("/sys/TAMRIX/TAMRIX.cnt")}},
      {65, deleting, {Del("/sys/TAMRIX/TAMRIX.gid")}},
      {70, deleting, {"RemoveDirectory /sys/TAMRIX"}},
      {75, deleting, {Del("/win/TAMRIX.db"), Del("/win/TAMRIX.jnl")}},
      {80, deleting, {Del("/win/TAMRIX.db2")}},
      {85, deleting, {Del("/win/TAMRIX.ini"), Del("/win/TAMRIX.INI")}},
      {100, deleting, {}},
      {SetupRig::kClosed, std::string(text::kDone), {"Sleep 500"}},
  };
  EXPECT_EQ(rig.steps, expected);
  EXPECT_FALSE(rig.files.Has("/win/TAMRIX.db"));
  EXPECT_FALSE(rig.registry.Value(kRunKey, "TAMRIXs").has_value());
  EXPECT_EQ(rig.messages, std::vector<std::string>{std::string(text::kString104)});
}

// The control panel creates its settings file as "TAMRIX.INI" on a machine that has none.
class PanelSpelledSettingsTest : public ::testing::TestWithParam<bool> {};

TEST_P(PanelSpelledSettingsTest, SettingsFileGoesWhateverItsLetterCase) {
  SetupRig rig;
  rig.PlantInstallation(GetParam());
  rig.files.files.erase("/win/TAMRIX.ini");
  rig.files.files["/win/TAMRIX.INI"] = "[TAMRIX]\r\nStartIPAddr=192.168.0.10\r\n";
  SetupEnvironment env = rig.Environment(GetParam());
  EXPECT_EQ(Uninstall(env), 1);
  EXPECT_FALSE(rig.files.Has("/win/TAMRIX.INI"));
}

INSTANTIATE_TEST_SUITE_P(BothPlatforms, PanelSpelledSettingsTest, ::testing::Bool());

class NothingInstalledTest : public ::testing::TestWithParam<bool> {};

TEST_P(NothingInstalledTest, TriesEveryStepReports105AndStillDeletesMakerKeys) {
  SetupRig rig;
  SetupEnvironment env = rig.Environment(GetParam());
  EXPECT_EQ(RunUninstallation(env), 0);
  EXPECT_EQ(rig.positions.back(), 100);
  EXPECT_EQ(rig.messages, std::vector<std::string>{std::string(text::kString105)});
  const std::vector<std::string> last = rig.Collect();
  EXPECT_EQ(last.at(0), "DeleteKey HKEY_LOCAL_MACHINE\\SOFTWARE\\VORMEL\\TAMRIX");
  EXPECT_EQ(last.at(1), "DeleteKey HKEY_LOCAL_MACHINE\\SOFTWARE\\VORMEL");
  EXPECT_EQ(rig.closed, 1);
}

INSTANTIATE_TEST_SUITE_P(BothPlatforms, NothingInstalledTest, ::testing::Bool());

// A change to a complete installation and the result it must give.
struct Leftover {
  const char* name;
  bool is95;
  std::function<void(SetupRig&)> arrange;
  int result;
};

void PrintTo(const Leftover& c, std::ostream* out) {
  *out << c.name;
}

class LeftoverTest : public ::testing::TestWithParam<Leftover> {};

TEST_P(LeftoverTest, CountsOnlyWhatMatters) {
  const Leftover& c = GetParam();
  SetupRig rig;
  rig.PlantInstallation(c.is95);
  c.arrange(rig);
  SetupEnvironment env = rig.Environment(c.is95);
  EXPECT_EQ(Uninstall(env), c.result);
  // Whatever else happened, the data files are gone.
  for (const char* name : {"TAMRIX.ini", "TAMRIX.db", "TAMRIX.db2"}) {
    EXPECT_FALSE(rig.files.Has(std::string("/win/") + name)) << name;
  }
  EXPECT_EQ(rig.positions.back(), 100);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LeftoverTest,
    ::testing::Values(
        Leftover{"MissingGidNt", false,
                 [](SetupRig& rig) { rig.files.files.erase("/sys/TAMRIX/TAMRIX.gid"); }, 1},
        Leftover{"MissingGid95", true,
                 [](SetupRig& rig) { rig.files.files.erase("/sys/TAMRIX/TAMRIX.gid"); }, 1},
        Leftover{"MissingMessageFileNt", false,
                 [](SetupRig& rig) { rig.files.files.erase("/sys/TAMRIX/TAMXEVT.dll"); }, 1},
        Leftover{"GidInUseKeepsDirectoryNt", false,
                 [](SetupRig& rig) { rig.files.locked.insert("/sys/TAMRIX/TAMRIX.gid"); }, 0},
        Leftover{"MessageFileInUseKeepsDirectoryNt", false,
                 [](SetupRig& rig) { rig.files.locked.insert("/sys/TAMRIX/TAMXEVT.dll"); }, 0},
        Leftover{"ServiceProgramInUseNt", false,
                 [](SetupRig& rig) { rig.files.locked.insert("/sys/TAMRIX/TAMXNTs.exe"); }, 0},
        Leftover{"PanelProgramInUse95", true,
                 [](SetupRig& rig) { rig.files.locked.insert("/sys/TAMRIX/TAMRIX.exe"); }, 0},
        Leftover{"MissingHelpNt", false,
                 [](SetupRig& rig) { rig.files.files.erase("/sys/TAMRIX/TAMRIX.hlp"); }, 0},
        Leftover{"ForeignFileInDirectory95", true,
                 [](SetupRig& rig) { rig.files.files["/sys/TAMRIX/notes.txt"] = "x"; }, 0},
        Leftover{"IgnoredFailuresNt", false,
                 [](SetupRig& rig) {
                   rig.windows.Plant(text::kPanelClass, text::kPanelTitle,
                                     FakeWindowSystem::kNever);
                   rig.services.failures["OpenManager"] = 5;
                   rig.shortcuts.entries.clear();
                   rig.files.files.erase("/win/TAMRIX.db2");
                   rig.registry.failures.push_back({"DeleteKey", "VORMEL"});
                 },
                 1},
        Leftover{"IgnoredFailures95", true,
                 [](SetupRig& rig) {
                   rig.windows.Plant(text::k95ServiceClass, text::k95ServiceTitle,
                                     FakeWindowSystem::kNever);
                   rig.registry.failures.push_back({"CreateKey", "RunServices"});
                 },
                 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UninstallNtTest, RunningServiceIsStoppedAndDeletedBeforeItsFile) {
  SetupRig rig;
  rig.PlantInstallation(false);
  FakeServiceManager::SetState(*rig.services.Find("TAMXNTs"), SERVICE_RUNNING);
  SetupEnvironment env = rig.Environment(false);
  UninstallNt(env);
  const auto& steps = rig.steps;
  const auto stopAt = std::find_if(steps.begin(), steps.end(), [](const Step& s) {
    return std::count(s.effects.begin(), s.effects.end(), "DeleteService TAMXNTs") != 0;
  });
  const auto fileAt = std::find_if(steps.begin(), steps.end(), [](const Step& s) {
    return std::count(s.effects.begin(), s.effects.end(), "DeleteFile /sys/TAMRIX/TAMXNTs.exe");
  });
  ASSERT_NE(stopAt, steps.end());
  EXPECT_LT(stopAt, fileAt);
}

TEST(UninstallNtTest, ServiceThatRefusesToStopIsLeftAndDoesNotCount) {
  SetupRig rig;
  rig.PlantInstallation(false);
  FakeServiceManager::SetState(*rig.services.Find("TAMXNTs"), SERVICE_RUNNING);
  rig.services.failures["ControlService"] = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  SetupEnvironment env = rig.Environment(false);
  EXPECT_EQ(UninstallNt(env), 1);
  EXPECT_NE(rig.services.Find("TAMXNTs"), nullptr);
}

TEST(UninstallTest, InstallThenUninstallLeavesNothingButTheEventSource) {
  for (const bool is95 : {false, true}) {
    SetupRig rig;
    const auto before = rig.files.files;
    SetupEnvironment env = rig.Environment(is95);
    ASSERT_EQ(Install(env), 1);
    ASSERT_EQ(Uninstall(env), 1);
    EXPECT_EQ(rig.files.files, before);
    EXPECT_EQ(rig.files.directories, (std::set<std::string>{"/sys", "/win"}));
    EXPECT_TRUE(rig.shortcuts.entries.empty());
    EXPECT_TRUE(rig.services.services.empty());
    EXPECT_FALSE(rig.registry.Value(kRunKey, "TAMRIXs").has_value());
    EXPECT_FALSE(rig.registry.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\VORMEL"));
    EXPECT_EQ(rig.registry.HasKey(kEventKey), !is95);
  }
}

}  // namespace
}  // namespace tamrix::testing
