// The registration a Debian package's maintainer scripts run around the package manager's own
// copies and removals: it must leave the machine as setup does, minus the files.
#include <gtest/gtest.h>

#include "setup/install.h"
#include "setup/uninstall.h"
#include "tests/setup/setup_rig.h"

namespace tamrix::testing {
namespace {

namespace text = setup_text;

const std::string kRunKey =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const std::string kEventKey =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\TAMXNTs";
const std::string kMakerKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\VORMEL\\TAMRIX";

// What an installation registers, in a form two machines can be compared by.
std::vector<std::string> Registration(SetupRig& rig) {
  std::vector<std::string> seen;
  for (const auto& [name, service] : rig.services.services) {
    const ServiceConfig& c = service.config;
    seen.push_back("service " + c.name + "|" + c.displayName + "|" + c.imagePath + "|" +
                   std::to_string(c.startType) + "|" + std::to_string(c.serviceType));
  }
  for (const char* value : {"EventMessageFile", "TypesSupported"}) {
    if (const auto v = rig.registry.Value(kEventKey, value)) seen.push_back(value + v->data);
  }
  if (const auto v = rig.registry.Value(kRunKey, "TAMRIXs")) seen.push_back("run " + v->data);
  if (rig.registry.HasKey(kMakerKey)) seen.push_back("maker");
  return seen;
}

TEST(PackageRegistrationTest, RegistersAsSetupDoesWithoutTouchingFiles) {
  for (const bool is95 : {false, true}) {
    SetupRig bySetup;
    SetupEnvironment setupEnv = bySetup.Environment(is95);
    ASSERT_EQ(Install(setupEnv), 1);

    SetupRig byPackage;
    byPackage.files.files = bySetup.files.files;  // the package manager's copies
    byPackage.files.directories = bySetup.files.directories;
    const auto files = byPackage.files.files;
    SetupEnvironment packageEnv = byPackage.Environment(is95);
    ASSERT_EQ(RegisterInstalledFiles(packageEnv, false), 1);

    EXPECT_EQ(Registration(byPackage), Registration(bySetup)) << "95: " << is95;
    EXPECT_FALSE(Registration(byPackage).empty());
    EXPECT_EQ(byPackage.files.files, files);
    EXPECT_TRUE(byPackage.shortcuts.entries.empty());
    EXPECT_EQ(byPackage.sharedWithOperators, bySetup.sharedWithOperators);
    EXPECT_TRUE(byPackage.messages.empty());
    EXPECT_TRUE(byPackage.HandlesClosed());
  }
}

TEST(PackageRegistrationTest, AnUpgradeKeepsTheChosenStartUpTypeAndAFirstInstallStartsAutomatically) {
  for (const bool is95 : {false, true}) {
    for (const bool keep : {false, true}) {
      SetupRig rig;
      rig.PlantInstallation(is95);
      // The operator chose manual start: demand start, or no boot-time entry on 95.
      if (is95) {
        rig.registry.hive.DeleteValue(kRunKey, "TAMRIXs");
      } else {
        rig.services.Find("TAMXNTs")->config.startType = SERVICE_DEMAND_START;
        FakeServiceManager::SetState(*rig.services.Find("TAMXNTs"), SERVICE_RUNNING);
      }
      SetupEnvironment env = rig.Environment(is95);
      ASSERT_EQ(RegisterInstalledFiles(env, keep), 1);
      if (is95) {
        EXPECT_EQ(rig.registry.Value(kRunKey, "TAMRIXs").has_value(), !keep);
      } else {
        ASSERT_NE(rig.services.Find("TAMXNTs"), nullptr);
        EXPECT_EQ(rig.services.Find("TAMXNTs")->config.startType,
                  keep ? SERVICE_DEMAND_START : SERVICE_AUTO_START);
        EXPECT_EQ(rig.services.Find("TAMXNTs")->status.currentState, SERVICE_STOPPED);
      }
    }
  }
}

// The package manager removes the programs next: a server that would not stop must fail it.
TEST(PackageRegistrationTest, RemovalFailsWhileAServerStillRuns) {
  SetupRig stuck;
  stuck.PlantInstallation(false);
  FakeServiceManager::SetState(*stuck.services.Find("TAMXNTs"), SERVICE_RUNNING);
  stuck.services.failures["ControlService"] = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  const auto files = stuck.files.files;
  SetupEnvironment env = stuck.Environment(false);
  EXPECT_EQ(UnregisterInstallation(env), 0);
  EXPECT_EQ(stuck.messages, std::vector<std::string>{std::string(text::kStopService)});
  EXPECT_EQ(stuck.files.files, files);
}

}  // namespace
}  // namespace tamrix::testing
