#include "control_panel/service_controller.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/os_version.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_registry.h"
#include "tests/fakes/fake_service_manager.h"

namespace tamrix {
namespace {

using testing::FakeClock;
using testing::FakeRegistry;
using testing::FakeServiceManager;
using Strings = std::vector<std::string>;

constexpr const char* kServicePath = "/sys32/TAMRIX/TAMRIXs.exe";
constexpr const char* kRunServices =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";

// The background program's window: present or not; after WM_CLOSE it lingers for a number of
// look-ups before it is gone (or never goes, when lingerFinds is negative).
class ScriptedWindows final : public WindowSystem {
 public:
  std::unique_ptr<Window> CreateWindow(std::string_view, std::string_view,
                                       WindowProcedure) override {
    return nullptr;
  }
  std::optional<WindowHandle> FindWindow(std::string_view className,
                                         std::string_view title) override {
    looked.push_back(std::string(className) + "|" + std::string(title));
    if (closing && lingerFinds >= 0 && lingerFinds-- == 0) up = false;
    if (!up) return std::nullopt;
    return WindowHandle{"service"};
  }
  std::optional<std::int64_t> SendMessage(const WindowHandle&, std::uint32_t message, std::uint64_t,
                                          std::int64_t, int) override {
    sent.push_back(message);
    if (message == WM_CLOSE) closing = true;
    return 0;
  }

  bool up = false;
  bool closing = false;
  int lingerFinds = 0;
  Strings looked;
  std::vector<std::uint32_t> sent;
};

struct Harness {
  explicit Harness(bool isNT, bool installed = true, std::uint32_t state = SERVICE_STOPPED) {
    if (installed) {
      ServiceConfig config;
      config.name = "TAMXNTs";
      config.displayName = "DHCP Service for ZAVO";
      config.imagePath = "/sys32/TAMRIX/TAMXNTs.exe";
      manager.Install(config, state);
    }
    controller = std::make_unique<ServiceController>(
        ServiceControllerEnvironment{isNT, manager, registry, windows, clock,
                                     [this](const std::string& path) {
                                       launched.push_back(path);
                                       if (launchResult == 0) windows.up = true;
                                       return launchResult;
                                     },
                                     kServicePath});
    manager.calls.clear();
  }

  ServiceController& c() { return *controller; }
  int Sleeps(int ms) const {
    int n = 0;
    for (const int s : clock.sleeps) n += s == ms ? 1 : 0;
    return n;
  }
  std::uint32_t StartType() { return manager.Find("TAMXNTs")->config.startType; }

  FakeServiceManager manager;
  FakeRegistry registry;
  ScriptedWindows windows;
  FakeClock clock;
  Strings launched;
  int launchResult = 0;
  std::unique_ptr<ServiceController> controller;
};

// --- NT ----------------------------------------------------------------------------------

// A pending state counts as the state being left; a state outside the seven keeps the last.
TEST(ServiceControllerNT, StatesMapOntoTheThreeStatuses) {
  struct Case {
    std::uint32_t state;
    ServiceStatus status;
  };
  const Case cases[] = {
      {SERVICE_STOPPED, STATUS_STOPPED},       {SERVICE_START_PENDING, STATUS_STOPPED},
      {SERVICE_STOP_PENDING, STATUS_RUNNING},  {SERVICE_RUNNING, STATUS_RUNNING},
      {SERVICE_PAUSE_PENDING, STATUS_RUNNING}, {SERVICE_CONTINUE_PENDING, STATUS_PAUSED},
      {SERVICE_PAUSED, STATUS_PAUSED},
  };
  for (const Case& c : cases) {
    Harness h(true);
    h.manager.queryScript = {c.state};
    EXPECT_EQ(h.c().QueryServiceStatusCode(), c.status) << c.state;
    EXPECT_EQ(h.c().status(), c.status);
  }
  for (const ServiceStatus previous : {STATUS_STOPPED, STATUS_RUNNING, STATUS_PAUSED}) {
    for (const std::uint32_t unknown : {0u, 8u, 0xFFFFFFFFu}) {
      Harness h(true);
      const std::uint32_t known = previous == STATUS_STOPPED   ? SERVICE_STOPPED
                                  : previous == STATUS_RUNNING ? SERVICE_RUNNING
                                                               : SERVICE_PAUSED;
      h.manager.queryScript = {known, unknown};
      h.c().QueryServiceStatusCode();
      EXPECT_EQ(h.c().QueryServiceStatusCode(), previous) << unknown;
    }
  }
  Harness first(true);
  first.manager.queryScript = {8};
  EXPECT_EQ(first.c().QueryServiceStatusCode(), STATUS_UNKNOWN);
}

TEST(ServiceControllerNT, WithoutTheServiceEverythingIsUnknownAndNothingHappens) {
  Harness h(true, false);
  EXPECT_EQ(h.c().QueryServiceStatusCode(), STATUS_UNKNOWN);
  EXPECT_EQ(h.c().QueryStartupType(), STARTUP_UNKNOWN);
  for (const StartupType type : {STARTUP_AUTOMATIC, STARTUP_MANUAL, STARTUP_DISABLED}) {
    h.c().SetStartupType(type);
    EXPECT_EQ(h.c().ApplyStartupType(), -1);
  }
  // Refused requests return at once: no pause, no poll.
  EXPECT_EQ(h.c().StartTheService(), 1);
  EXPECT_EQ(h.c().StopTheService(), 1);
  EXPECT_EQ(h.c().PauseTheService(), 1);
  EXPECT_EQ(h.c().ContinueTheService(), 1);
  EXPECT_TRUE(h.clock.sleeps.empty());
  EXPECT_EQ(h.c().derivations(), 1);
  EXPECT_TRUE(h.manager.services.empty());
}

TEST(ServiceControllerNT, AServiceStuckStartingShowsStoppedAndTheStartGivesUpAtPause1001) {
  Harness h(true);
  h.manager.startState = SERVICE_START_PENDING;
  EXPECT_EQ(h.c().StartTheService(), 0);
  EXPECT_EQ(h.c().status(), STATUS_STOPPED);
  EXPECT_EQ(h.clock.sleeps.size(), 1001u);
  EXPECT_EQ(h.Sleeps(50), 1001);
  EXPECT_EQ(h.c().derivations(), 1001);  // once before the first pause, none after the last
}

TEST(ServiceControllerNT, WaitEndsAsSoonAsTheTargetIsSeen) {
  Harness h(true, true, SERVICE_RUNNING);
  h.manager.queryScript = {SERVICE_STOP_PENDING, SERVICE_STOP_PENDING, SERVICE_STOP_PENDING,
                           SERVICE_STOPPED};
  h.manager.ignoredControls = {SERVICE_CONTROL_STOP};
  EXPECT_EQ(h.c().StopTheService(), 1);
  EXPECT_EQ(h.clock.sleeps, (std::vector<int>{50, 50, 50}));
  EXPECT_EQ(h.c().status(), STATUS_STOPPED);

  Harness at1000(true);
  at1000.manager.startState = SERVICE_START_PENDING;
  at1000.manager.queryScript.assign(1000, SERVICE_START_PENDING);
  at1000.manager.queryScript.push_back(SERVICE_RUNNING);
  EXPECT_EQ(at1000.c().StartTheService(), 1);  // the 1001st derivation still counts
  EXPECT_EQ(at1000.clock.sleeps.size(), 1000u);
}

TEST(ServiceControllerNT, StartPauseContinueStopFollowTheService) {
  Harness h(true);
  EXPECT_EQ(h.c().StartTheService(), 1);
  EXPECT_EQ(h.c().status(), STATUS_RUNNING);
  EXPECT_EQ(h.c().PauseTheService(), 1);
  EXPECT_EQ(h.c().status(), STATUS_PAUSED);
  EXPECT_EQ(h.c().ContinueTheService(), 1);
  EXPECT_EQ(h.c().status(), STATUS_RUNNING);
  EXPECT_EQ(h.c().StopTheService(), 1);
  EXPECT_EQ(h.c().status(), STATUS_STOPPED);
  const Strings expected = {"StartService TAMXNTs",     "QueryServiceStatus TAMXNTs",
                            "ControlService TAMXNTs 2", "QueryServiceStatus TAMXNTs",
                            "ControlService TAMXNTs 3", "QueryServiceStatus TAMXNTs",
                            "ControlService TAMXNTs 1", "QueryServiceStatus TAMXNTs"};
  EXPECT_EQ(h.manager.calls, expected);
  EXPECT_TRUE(h.clock.sleeps.empty());
}

TEST(ServiceControllerNT, AContinuePendingServiceAlreadyCountsAsPaused) {
  Harness h(true, true, SERVICE_RUNNING);
  h.manager.ignoredControls = {SERVICE_CONTROL_PAUSE};
  h.manager.queryScript = {SERVICE_CONTINUE_PENDING};
  EXPECT_EQ(h.c().PauseTheService(), 1);
  EXPECT_EQ(h.c().status(), STATUS_PAUSED);
  EXPECT_TRUE(h.clock.sleeps.empty());
}

TEST(ServiceControllerNT, ARefusedRequestReturnsAtOnceWithoutPolling) {
  struct Case {
    const char* name;
    std::string failing;
    int (ServiceController::*operation)();
  };
  const Case cases[] = {
      {"start", "StartService", &ServiceController::StartTheService},
      {"stop", "ControlService", &ServiceController::StopTheService},
      {"pause", "ControlService", &ServiceController::PauseTheService},
      {"continue", "ControlService", &ServiceController::ContinueTheService},
  };
  for (const Case& c : cases) {
    Harness h(true, true, SERVICE_RUNNING);
    h.manager.failures[c.failing] = ERROR_ACCESS_DENIED;
    EXPECT_EQ((h.c().*c.operation)(), 1) << c.name;
    EXPECT_EQ(h.c().derivations(), 0) << c.name;
    EXPECT_TRUE(h.clock.sleeps.empty()) << c.name;
  }
}

TEST(ServiceControllerNT, StartupTypesReadFromTheStartType) {
  struct Case {
    std::uint32_t startType;
    StartupType type;
  };
  const Case cases[] = {{SERVICE_AUTO_START, STARTUP_AUTOMATIC},
                        {SERVICE_DEMAND_START, STARTUP_MANUAL},
                        {SERVICE_DISABLED, STARTUP_DISABLED},
                        {0, STARTUP_UNKNOWN},
                        {1, STARTUP_UNKNOWN},
                        {5, STARTUP_UNKNOWN}};
  for (const Case& c : cases) {
    Harness h(true);
    h.manager.Find("TAMXNTs")->config.startType = c.startType;
    EXPECT_EQ(h.c().QueryStartupType(), c.type) << c.startType;
    EXPECT_EQ(h.c().startupType(), c.type);
  }
  Harness failing(true);
  failing.manager.failures["QueryServiceConfig"] = ERROR_ACCESS_DENIED;
  EXPECT_EQ(failing.c().QueryStartupType(), STARTUP_UNKNOWN);
}

TEST(ServiceControllerNT, ApplyingChangesOnlyTheStartType) {
  struct Case {
    StartupType type;
    std::uint32_t startType;
  };
  const Case cases[] = {{STARTUP_AUTOMATIC, SERVICE_AUTO_START},
                        {STARTUP_MANUAL, SERVICE_DEMAND_START},
                        {STARTUP_DISABLED, SERVICE_DISABLED}};
  for (const Case& c : cases) {
    Harness h(true);
    const ServiceConfig before = h.manager.Find("TAMXNTs")->config;
    h.c().SetStartupType(c.type);
    EXPECT_EQ(h.c().ApplyStartupType(), 0);
    const ServiceConfig& after = h.manager.Find("TAMXNTs")->config;
    EXPECT_EQ(after.startType, c.startType);
    EXPECT_EQ(after.displayName, before.displayName);
    EXPECT_EQ(after.imagePath, before.imagePath);
    EXPECT_EQ(after.serviceType, before.serviceType);
    EXPECT_EQ(after.errorControl, before.errorControl);
  }
  Harness none(true);
  none.c().SetStartupType(STARTUP_UNKNOWN);  // OK with no button checked
  EXPECT_EQ(none.c().ApplyStartupType(), -1);
  EXPECT_TRUE(none.manager.calls.empty());
  EXPECT_EQ(none.StartType(), SERVICE_DEMAND_START);

  Harness refused(true);
  refused.manager.failures["ChangeServiceConfig"] = ERROR_ACCESS_DENIED;
  refused.c().SetStartupType(STARTUP_AUTOMATIC);
  EXPECT_EQ(refused.c().ApplyStartupType(), -1);
}

// --- Windows 95 --------------------------------------------------------------------------

TEST(ServiceController95, StatusIsThePresenceOfTheServiceWindow) {
  Harness h(false);
  EXPECT_TRUE(h.manager.calls.empty());  // no service manager on this platform
  EXPECT_EQ(h.c().QueryServiceStatusCode(), STATUS_STOPPED);
  h.windows.up = true;
  EXPECT_EQ(h.c().QueryServiceStatusCode(), STATUS_RUNNING);
  EXPECT_EQ(h.windows.looked.back(), "TAMRIXs_Class|TAMRIXs");
}

TEST(ServiceController95, StartLaunchesTheProgramSettlesThenWaits) {
  Harness h(false);
  EXPECT_EQ(h.c().StartTheService(), 1);
  EXPECT_EQ(h.launched, Strings{kServicePath});
  EXPECT_EQ(h.clock.sleeps, std::vector<int>{2000});
  EXPECT_EQ(h.c().status(), STATUS_RUNNING);

  Harness failed(false);
  failed.launchResult = ERROR_FILE_NOT_FOUND;
  EXPECT_EQ(failed.c().StartTheService(), 0);
  EXPECT_TRUE(failed.clock.sleeps.empty());
  EXPECT_EQ(failed.c().derivations(), 0);

  Harness neverUp(false);
  neverUp.launchResult = 0;
  neverUp.controller = std::make_unique<ServiceController>(ServiceControllerEnvironment{
      false, neverUp.manager, neverUp.registry, neverUp.windows, neverUp.clock,
      [](const std::string&) { return 0; }, kServicePath});
  EXPECT_EQ(neverUp.c().StartTheService(), 0);
  EXPECT_EQ(neverUp.Sleeps(50), 1001);
}

TEST(ServiceController95, StopClosesTheWindowAndWaitsForItToGo) {
  Harness h(false);
  h.windows.up = true;
  h.windows.lingerFinds = 2;  // still found twice after the close
  EXPECT_EQ(h.c().StopTheService(), 1);
  EXPECT_EQ(h.windows.sent, std::vector<std::uint32_t>{WM_CLOSE});
  EXPECT_EQ(h.clock.sleeps, (std::vector<int>{1000, 50, 50}));
  EXPECT_EQ(h.c().status(), STATUS_STOPPED);

  Harness absent(false);
  EXPECT_EQ(absent.c().StopTheService(), 1);
  EXPECT_TRUE(absent.windows.sent.empty());
  EXPECT_EQ(absent.clock.sleeps, std::vector<int>{1000});

  Harness stuck(false);
  stuck.windows.up = true;
  stuck.windows.lingerFinds = -1;
  EXPECT_EQ(stuck.c().StopTheService(), 0);
  EXPECT_EQ(stuck.Sleeps(50), 1001);
}

TEST(ServiceController95, PauseAndContinueDoNothing) {
  Harness h(false);
  h.windows.up = true;
  EXPECT_EQ(h.c().PauseTheService(), 0);
  EXPECT_EQ(h.c().ContinueTheService(), 0);
  EXPECT_TRUE(h.windows.looked.empty());
  EXPECT_TRUE(h.windows.sent.empty());
  EXPECT_TRUE(h.clock.sleeps.empty());
}

TEST(ServiceController95, StartupTypeReadsTheRunServicesValue) {
  struct Case {
    const char* name;
    bool key;
    std::uint32_t type;
    std::string data;
    StartupType expected;
  };
  const std::string longPath = "/" + std::string(300, 'x');
  const Case cases[] = {
      {"string", true, REG_SZ, RegistryStringData(kServicePath), STARTUP_AUTOMATIC},
      {"expandable string", true, REG_EXPAND_SZ, RegistryStringData(kServicePath),
       STARTUP_AUTOMATIC},
      {"binary", true, REG_BINARY, std::string("\x01\x02", 2), STARTUP_UNKNOWN},
      {"number", true, REG_DWORD, RegistryDwordData(1), STARTUP_UNKNOWN},
      {"too long for the buffer", true, REG_SZ, RegistryStringData(longPath), STARTUP_MANUAL},
      {"no value", true, 0, "", STARTUP_MANUAL},
      {"no key", false, 0, "", STARTUP_MANUAL},
  };
  for (const Case& c : cases) {
    Harness h(false);
    if (c.key && c.type != 0) {
      h.registry.Put(kRunServices, "TAMRIXs", c.type, c.data);
    } else if (c.key) {
      h.registry.Put(kRunServices, "Other", REG_SZ, RegistryStringData("/bin/other"));
    }
    EXPECT_EQ(h.c().QueryStartupType(), c.expected) << c.name;
    EXPECT_EQ(h.c().startupType(), c.expected) << c.name;
  }
  Harness unreadable(false);
  unreadable.registry.Put(kRunServices, "TAMRIXs", REG_SZ, RegistryStringData(kServicePath));
  unreadable.registry.failures.push_back({"OpenKey", "RunServices", ERROR_ACCESS_DENIED});
  EXPECT_EQ(unreadable.c().QueryStartupType(), STARTUP_MANUAL);
}

TEST(ServiceController95, AutomaticWritesThePathAndManualDeletesIt) {
  Harness h(false);
  h.c().SetStartupType(STARTUP_AUTOMATIC);
  ASSERT_EQ(h.c().ApplyStartupType(), 0);
  const auto value = h.registry.Value(kRunServices, "TAMRIXs");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->type, REG_SZ);
  EXPECT_EQ(value->data, std::string(kServicePath) + '\0');  // NUL counted in the length
  EXPECT_EQ(h.c().QueryStartupType(), STARTUP_AUTOMATIC);
  // The key did not exist: it must still be there after the next boot, with the value.
  h.registry.SimulateBoot();
  EXPECT_TRUE(h.registry.Value(kRunServices, "TAMRIXs").has_value());

  h.registry.Put(kRunServices, "Other", REG_SZ, RegistryStringData("/bin/other"));
  h.c().SetStartupType(STARTUP_MANUAL);
  EXPECT_EQ(h.c().ApplyStartupType(), 0);
  EXPECT_FALSE(h.registry.Value(kRunServices, "TAMRIXs").has_value());
  EXPECT_TRUE(h.registry.Value(kRunServices, "Other").has_value());
  EXPECT_EQ(h.c().QueryStartupType(), STARTUP_MANUAL);

  // Every key opened was closed again.
  int opened = 0;
  int closed = 0;
  for (const std::string& call : h.registry.calls) {
    opened += call.rfind("CreateKey", 0) == 0 || call.rfind("OpenKey", 0) == 0 ? 1 : 0;
    closed += call.rfind("CloseKey", 0) == 0 ? 1 : 0;
  }
  EXPECT_EQ(opened, closed);
}

TEST(ServiceController95, OtherTypesAndRegistryFailuresChangeNothing) {
  for (const StartupType type : {STARTUP_DISABLED, STARTUP_UNKNOWN}) {
    Harness h(false);
    h.registry.Put(kRunServices, "TAMRIXs", REG_SZ, RegistryStringData(kServicePath));
    h.c().SetStartupType(type);
    EXPECT_EQ(h.c().ApplyStartupType(), -1);
    EXPECT_TRUE(h.registry.Value(kRunServices, "TAMRIXs").has_value());
  }
  Harness noKey(false);
  noKey.registry.failures.push_back({"CreateKey", "RunServices", ERROR_ACCESS_DENIED});
  noKey.c().SetStartupType(STARTUP_AUTOMATIC);
  EXPECT_EQ(noKey.c().ApplyStartupType(), -1);

  Harness denied(false);
  denied.registry.failures.push_back({"SetValue", "RunServices", ERROR_ACCESS_DENIED});
  denied.c().SetStartupType(STARTUP_AUTOMATIC);
  EXPECT_EQ(denied.c().ApplyStartupType(), ERROR_ACCESS_DENIED);

  Harness missing(false);
  missing.c().SetStartupType(STARTUP_MANUAL);
  EXPECT_EQ(missing.c().ApplyStartupType(), ERROR_FILE_NOT_FOUND);
}

// --- the machine's platform setting -------------------------------------------------------

TEST(PlatformSetting, NTUnlessTheMachineSaysWindows95) {
  char pattern[] = "/tmp/tamrix-platform-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const MachinePaths paths{pattern};
  EXPECT_FALSE(IsWindows95(paths));  // no setting at all
  std::filesystem::create_directories(std::string(pattern) + "/etc/tamrix");
  struct Case {
    const char* contents;
    bool is95;
  };
  const Case cases[] = {
      {"95\n", true},  {" 95 \r\n", true}, {"Windows95", true}, {"WINDOWS95\nNT\n", true},
      {"NT\n", false}, {"", false},        {"9", false},        {"\n95\n", false},
      {"950", false}};
  for (const Case& c : cases) {
    std::ofstream(PlatformSettingPath(paths)) << c.contents;
    EXPECT_EQ(IsWindows95(paths), c.is95) << c.contents;
    EXPECT_EQ(GetVersion(paths) >> 31, c.is95 ? 1u : 0u);
  }
  std::filesystem::remove_all(pattern);
  EXPECT_EQ(Windows95ServicePath(paths),
            std::string(pattern) + "/usr/local/lib/TAMRIX/TAMRIXs.exe");
}

}  // namespace
}  // namespace tamrix
