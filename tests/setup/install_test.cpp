#include "setup/install.h"

#include <gtest/gtest.h>

#include <numeric>

#include "setup/setup_handlers.h"
#include "setup/setup_routines.h"
#include "tests/setup/setup_rig.h"

namespace tamrix::testing {
namespace {

namespace text = setup_text;

const std::string kPanel = "FindWindow #32770|簡易DHCPｻｰﾋﾞｽ";
const std::string kEventKey =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\TAMXNTs";
const std::string kRunKey =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const std::string kMakerKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\VORMEL\\TAMRIX";

std::string Copy(const std::string& name) {
  return "CopyFile " + name + " /sys/TAMRIX/" + name;
}

TEST(InstallNtTest, CleanInstallationRunsEveryStepInOrder) {
  SetupRig rig;
  SetupEnvironment env = rig.Environment(false);
  ASSERT_EQ(RunInstallation(env), 1);

  const std::vector<Step> expected = {
      {0, std::string(text::kProgressInitialText), {}},
      {5, std::string(text::kCreatingDirectory), {"CreateDirectory /sys/TAMRIX"}},
      {10, std::string(text::kRemovingOldVersion), {kPanel}},
      {15, std::string(text::kRemovingOldVersion), {"OpenManager 2", "OpenService TAMXNTs 983551"}},
      {25, std::string(text::kCopyingFiles), {Copy("TAMXNTs.exe")}},
      {35, std::string(text::kCopyingFiles), {Copy("TAMRIX.exe")}},
      {50, std::string(text::kCopyingFiles), {Copy("TAMRIX.hlp")}},
      {55, std::string(text::kCopyingFiles), {Copy("TAMRIX.cnt")}},
      {60, std::string(text::kCopyingFiles), {Copy("TAMXEVT.dll")}},
      {75, std::string(text::kCopyingFiles), {}},
      {80,
       std::string(text::kRegisteringService),
       {"OpenManager 2", "CreateService TAMXNTs 983551"}},
      {85,
       std::string(text::kRegisteringEventLog),
       {"CreateKey " + kEventKey + " 0", "SetValue " + kEventKey + " EventMessageFile 2",
        "SetValue " + kEventKey + " TypesSupported 4"}},
      {90,
       std::string(text::kRegisteringEventLog),
       {"OpenManager 2", "OpenService TAMXNTs 983551",
        "ChangeServiceConfig TAMXNTs 4294967295 2 4294967295"}},
      {100, std::string(text::kCreatingShortcut), {"SaveShortcut 2 TAMRIXｺﾝﾄﾛｰﾙ"}},
      {SetupRig::kClosed, std::string(text::kDone), {"Sleep 500"}},
  };
  EXPECT_EQ(rig.steps, expected);
  EXPECT_EQ(rig.captions, std::vector<std::string>{"ｲﾝｽﾄｰﾙ"});
  EXPECT_EQ(rig.Collect(),
            (std::vector<std::string>{"CreateKey " + kMakerKey + " 1",
                                      "Message " + std::string(text::kString102) + " 64"}));
  EXPECT_EQ(rig.started, std::vector<std::string>{"/sys/TAMRIX/TAMRIX.exe"});

  const auto* service = rig.services.Find("TAMXNTs");
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(service->config.displayName, "DHCP Service for ZAVO");
  EXPECT_EQ(service->config.imagePath, "/sys/TAMRIX/TAMXNTs.exe");
  EXPECT_EQ(service->config.startType, SERVICE_AUTO_START);
  EXPECT_EQ(service->config.serviceType, SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(service->config.errorControl, SERVICE_ERROR_NORMAL);
  EXPECT_EQ(service->status.currentState, SERVICE_STOPPED);  // setup never starts it
  EXPECT_EQ(RegistryStringFrom(rig.registry.Value(kEventKey, "EventMessageFile")->data),
            "/sys/TAMRIX/TAMXEVT.dll");
  EXPECT_EQ(rig.registry.Value(kEventKey, "TypesSupported")->data, RegistryDwordData(7));
  const ShellLink& link = rig.shortcuts.entries.at({CSIDL_PROGRAMS, "TAMRIXｺﾝﾄﾛｰﾙ"});
  EXPECT_EQ(link.path, "/sys/TAMRIX/TAMRIX.exe");
  EXPECT_EQ(link.workingDirectory, "/sys/TAMRIX");
  EXPECT_EQ(link.description, "TAMRIXｺﾝﾄﾛｰﾙ");
  EXPECT_EQ(rig.files.files.at("/sys/TAMRIX/TAMXEVT.dll"), "new TAMXEVT.dll");
  EXPECT_FALSE(rig.files.Has("/sys/TAMRIX/TAMRIXs.exe"));
  EXPECT_TRUE(rig.HandlesClosed());
  // The maker key lasts only until the next boot.
  rig.registry.SimulateBoot();
  EXPECT_FALSE(rig.registry.HasKey(kMakerKey));
}

TEST(InstallWin95Test, CleanInstallationRunsEveryStepInOrder) {
  SetupRig rig;
  SetupEnvironment env = rig.Environment(true);
  ASSERT_EQ(RunInstallation(env), 1);

  const std::vector<Step> expected = {
      {0, std::string(text::kProgressInitialText), {}},
      {5, std::string(text::kCreatingDirectory), {"CreateDirectory /sys/TAMRIX"}},
      {10, std::string(text::kRemovingOldVersion), {kPanel}},
      {15, std::string(text::kRemovingOldVersion), {"FindWindow TAMRIXs_Class|TAMRIXs"}},
      {20,
       std::string(text::kRemovingOldVersion),
       {"CreateKey " + kRunKey + " 0", "DeleteValue " + kRunKey + " TAMRIXs"}},
      {30, std::string(text::kCopyingFiles), {Copy("TAMRIXs.exe")}},
      {40, std::string(text::kCopyingFiles), {Copy("TAMRIX.exe")}},
      {55, std::string(text::kCopyingFiles), {Copy("TAMRIX.hlp")}},
      {60, std::string(text::kCopyingFiles), {Copy("TAMRIX.cnt")}},
      {80, std::string(text::kCopyingFiles), {}},
      {90,
       std::string(text::kRegisteringService),
       {"CreateKey " + kRunKey + " 0", "SetValue " + kRunKey + " TAMRIXs 1"}},
      {100, std::string(text::kCreatingShortcut), {"SaveShortcut 2 TAMRIXｺﾝﾄﾛｰﾙ"}},
      {SetupRig::kClosed, std::string(text::kDone), {"Sleep 500"}},
  };
  EXPECT_EQ(rig.steps, expected);
  EXPECT_EQ(rig.Collect(),
            (std::vector<std::string>{"CreateKey " + kMakerKey + " 1",
                                      "Message " + std::string(text::kString102) + " 64"}));
  EXPECT_EQ(rig.started, std::vector<std::string>{"/sys/TAMRIX/TAMRIX.exe"});
  EXPECT_EQ(rig.registry.Value(kRunKey, "TAMRIXs")->data,
            RegistryStringData("/sys/TAMRIX/TAMRIXs.exe"));
  EXPECT_TRUE(rig.services.services.empty());
  EXPECT_FALSE(rig.files.Has("/sys/TAMRIX/TAMXEVT.dll"));
  EXPECT_FALSE(rig.registry.HasKey(kEventKey));
  // The boot-time start outlives the boot it was made in.
  rig.registry.SimulateBoot();
  EXPECT_TRUE(rig.registry.Value(kRunKey, "TAMRIXs").has_value());
  EXPECT_TRUE(rig.HandlesClosed());
}

class OverInstallationTest : public ::testing::TestWithParam<bool> {};

TEST_P(OverInstallationTest, ClosesTheOldProgramsReplacesFilesAndKeepsData) {
  const bool is95 = GetParam();
  SetupRig rig;
  rig.PlantInstallation(is95);
  rig.windows.Plant(text::kPanelClass, text::kPanelTitle, 3);
  if (is95) {
    rig.windows.Plant(text::k95ServiceClass, text::k95ServiceTitle);
  } else {
    rig.services.Find("TAMXNTs")->config.startType = SERVICE_DEMAND_START;
    FakeServiceManager::SetState(*rig.services.Find("TAMXNTs"), SERVICE_RUNNING);
  }
  SetupEnvironment env = rig.Environment(is95);
  ASSERT_EQ(RunInstallation(env), 1);

  EXPECT_FALSE(rig.windows.IsThere(text::kPanelClass, text::kPanelTitle));
  for (const auto& [path, contents] : rig.files.files) {
    if (path.rfind("/sys/TAMRIX/", 0) == 0 && path != "/sys/TAMRIX/TAMRIX.gid") {
      EXPECT_EQ(contents.substr(0, 4), "new ") << path;
    }
  }
  for (const char* name : {"TAMRIX.ini", "TAMRIX.db", "TAMRIX.db2"}) {
    EXPECT_EQ(rig.files.files.at(std::string("/win/") + name), std::string("data ") + name);
  }
  if (is95) {
    EXPECT_FALSE(rig.windows.IsThere(text::k95ServiceClass, text::k95ServiceTitle));
    EXPECT_EQ(rig.windows.windows.size(), 0u);
  } else {
    // The old service was stopped before it was deleted, and the new one is registered afresh.
    const auto& calls = rig.steps[3].effects;
    const auto stop = std::find(calls.begin(), calls.end(), "ControlService TAMXNTs 1");
    const auto erase = std::find(calls.begin(), calls.end(), "DeleteService TAMXNTs");
    ASSERT_NE(stop, calls.end());
    EXPECT_LT(stop, erase);
    EXPECT_EQ(rig.services.Find("TAMXNTs")->status.currentState, SERVICE_STOPPED);
    EXPECT_EQ(rig.services.Find("TAMXNTs")->config.startType, SERVICE_AUTO_START);
  }
  EXPECT_EQ(rig.messages, std::vector<std::string>{std::string(text::kString102)});
}

INSTANTIATE_TEST_SUITE_P(BothPlatforms, OverInstallationTest, ::testing::Bool());

// What ends an installation early: the message shown, the last progress position reached, and
// whether any program file was copied by then.
struct EarlyEnd {
  const char* name;
  bool is95;
  std::function<void(SetupRig&)> arrange;
  std::string message;
  int lastPosition;
};

void PrintTo(const EarlyEnd& c, std::ostream* out) {
  *out << c.name;
}

class EarlyEndTest : public ::testing::TestWithParam<EarlyEnd> {};

TEST_P(EarlyEndTest, StopsWithItsMessageThen103AndNoMakerKey) {
  const EarlyEnd& c = GetParam();
  SetupRig rig;
  c.arrange(rig);
  SetupEnvironment env = rig.Environment(c.is95);
  EXPECT_EQ(RunInstallation(env), 0);

  EXPECT_EQ(rig.messages, (std::vector<std::string>{c.message, std::string(text::kString103)}));
  EXPECT_EQ(rig.positions.back(), c.lastPosition);
  EXPECT_EQ(rig.closed, 1);  // the progress dialog went away on this path too
  EXPECT_TRUE(rig.started.empty());
  EXPECT_TRUE(rig.shortcuts.entries.empty());
  EXPECT_FALSE(rig.registry.HasKey(kMakerKey));
  EXPECT_TRUE(rig.HandlesClosed());
}

const std::string kHlpFailed = "TAMRIX.hlp のｺﾋﾟｰに失敗しました。";

INSTANTIATE_TEST_SUITE_P(
    Failures, EarlyEndTest,
    ::testing::Values(
        EarlyEnd{"PanelIgnoresCloseNt", false,
                 [](SetupRig& rig) {
                   rig.windows.Plant(text::kPanelClass, text::kPanelTitle,
                                     FakeWindowSystem::kNever);
                 },
                 std::string(text::kClosePanel), 5},
        EarlyEnd{"PanelIgnoresClose95", true,
                 [](SetupRig& rig) {
                   rig.windows.Plant(text::kPanelClass, text::kPanelTitle,
                                     FakeWindowSystem::kNever);
                 },
                 std::string(text::kClosePanel), 5},
        EarlyEnd{"ServiceWindowStays95", true,
                 [](SetupRig& rig) {
                   rig.windows.Plant(text::k95ServiceClass, text::k95ServiceTitle,
                                     FakeWindowSystem::kNever);
                 },
                 std::string(text::kStopService), 10},
        EarlyEnd{"MissingHelpNt", false, [](SetupRig& rig) { rig.files.files.erase("TAMRIX.hlp"); },
                 kHlpFailed, 35},
        EarlyEnd{"MissingHelp95", true, [](SetupRig& rig) { rig.files.files.erase("TAMRIX.hlp"); },
                 kHlpFailed, 40},
        EarlyEnd{"MessageFileInUseNt", false,
                 [](SetupRig& rig) { rig.files.locked.insert("/sys/TAMRIX/TAMXEVT.dll"); },
                 "TAMXEVT.dll のｺﾋﾟｰに失敗しました。", 55},
        EarlyEnd{"NoDirectoryNt", false,
                 [](SetupRig& rig) { rig.files.failCreateDirectory = true; },
                 "TAMXNTs.exe のｺﾋﾟｰに失敗しました。", 15},
        EarlyEnd{"ServiceExistsNt", false,
                 [](SetupRig& rig) {
                   ServiceConfig config;
                   config.name = "TAMXNTs";
                   rig.services.Install(config);
                   rig.services.Find("TAMXNTs")->markedForDelete = true;
                 },
                 std::string(text::kServiceRegistrationFailed), 75},
        EarlyEnd{"NoServiceManagerNt", false,
                 [](SetupRig& rig) { rig.services.failures["OpenManager"] = 5; },
                 std::string(text::kServiceRegistrationFailed), 75},
        EarlyEnd{"EventLogKeyRefusedNt", false,
                 [](SetupRig& rig) {
                   rig.registry.failures.push_back({"SetValue", "EventLog"});
                 },
                 std::string(text::kEventLogRegistrationFailed), 80}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InstallTest, PanelIgnoringCloseEndsAfterAboutSixSecondsBeforeAnyCopy) {
  SetupRig rig;
  rig.windows.Plant(text::kPanelClass, text::kPanelTitle, FakeWindowSystem::kNever);
  SetupEnvironment env = rig.Environment(false);
  EXPECT_EQ(Install(env), 0);
  const int waited = std::accumulate(rig.clock.sleeps.begin(), rig.clock.sleeps.end(), 0);
  EXPECT_EQ(waited, 1000 + 101 * 50);
  EXPECT_EQ(rig.windows.windows.begin()->second.received, std::vector<std::uint32_t>{WM_CLOSE});
  EXPECT_EQ(rig.files.files.count("/sys/TAMRIX/TAMXNTs.exe"), 0u);
}

TEST(InstallTest, MissingHelpFileLeavesServiceAndPanelCopiedOnly) {
  SetupRig rig;
  rig.files.files.erase("TAMRIX.hlp");
  SetupEnvironment env = rig.Environment(false);
  EXPECT_EQ(Install(env), 0);
  EXPECT_TRUE(rig.files.Has("/sys/TAMRIX/TAMXNTs.exe"));
  EXPECT_TRUE(rig.files.Has("/sys/TAMRIX/TAMRIX.exe"));
  EXPECT_FALSE(rig.files.Has("/sys/TAMRIX/TAMRIX.cnt"));
  EXPECT_TRUE(rig.services.services.empty());
}

TEST(InstallTest, FailedSwitchToAutomaticStartStillSucceeds) {
  SetupRig rig;
  rig.services.failures["ChangeServiceConfig"] = 5;
  SetupEnvironment env = rig.Environment(false);
  EXPECT_EQ(RunInstallation(env), 1);
  EXPECT_EQ(rig.services.Find("TAMXNTs")->config.startType, SERVICE_DEMAND_START);
  EXPECT_EQ(rig.messages, std::vector<std::string>{std::string(text::kString102)});
  EXPECT_TRUE(rig.registry.HasKey(kMakerKey));
  EXPECT_EQ(rig.started.size(), 1u);
}

TEST(InstallTest, IgnoredFailuresDoNotStopIt) {
  SetupRig rig;
  rig.shortcuts.failSave = true;
  rig.registry.failures.push_back({"CreateKey", "RunServices"});
  rig.files.directories.insert("/sys/TAMRIX");  // creating it again fails
  SetupEnvironment env = rig.Environment(true);
  EXPECT_EQ(Install(env), 1);
  EXPECT_TRUE(rig.registry.HasKey(kMakerKey));
}

TEST(InstallTest, StoppingServiceIsWaitedForBeforeItsDeletion) {
  SetupRig rig;
  rig.PlantInstallation(false);
  FakeServiceManager::SetState(*rig.services.Find("TAMXNTs"), SERVICE_RUNNING);
  rig.services.ignoredControls.insert(SERVICE_CONTROL_STOP);
  // Running at the first query, stopping after the grace period, stopped a little later.
  rig.services.queryScript = {SERVICE_RUNNING, SERVICE_STOP_PENDING, SERVICE_STOP_PENDING,
                              SERVICE_STOPPED};
  SetupEnvironment env = rig.Environment(false);
  EXPECT_EQ(Install(env), 1);
  const auto* service = rig.services.Find("TAMXNTs");
  ASSERT_NE(service, nullptr);
  EXPECT_FALSE(service->markedForDelete);
  EXPECT_EQ(service->config.imagePath, "/sys/TAMRIX/TAMXNTs.exe");
}

TEST(InstallDirPathTest, OneSeparatorWhateverTheSystemDirectoryEndsIn) {
  SetupRig rig;
  for (const auto& [system, expected] : std::vector<std::pair<std::string, std::string>>{
           {"/usr/local/lib", "/usr/local/lib/TAMRIX"},
           {"/usr/local/lib/", "/usr/local/lib/TAMRIX"},
           {"/", "/TAMRIX"},
           {"", "TAMRIX"}}) {
    SetupEnvironment env = rig.Environment(false);
    env.systemDirectory = system;
    EXPECT_EQ(InstallDirPath(env), expected) << system;
  }
}

}  // namespace
}  // namespace tamrix::testing
