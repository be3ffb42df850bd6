#include "control_panel/background_program_controller.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "control_panel/panel_machine.h"
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
  Harness()
      : controller(registry, windows, clock,
                   [this](const std::string& path) {
                     launched.push_back(path);
                     if (launchResult == 0 && launchShowsWindow) windows.up = true;
                     return launchResult;
                   },
                   kServicePath) {}

  BackgroundProgramController& c() { return controller; }
  long Polls() const { return std::count(clock.sleeps.begin(), clock.sleeps.end(), 50); }

  FakeRegistry registry;
  ScriptedWindows windows;
  FakeClock clock;
  Strings launched;
  int launchResult = 0;
  bool launchShowsWindow = true;
  BackgroundProgramController controller;
};

TEST(BackgroundProgramController, StatusIsThePresenceOfTheServiceWindow) {
  Harness h;
  EXPECT_EQ(h.c().QueryServiceStatusCode(), STATUS_STOPPED);
  h.windows.up = true;
  EXPECT_EQ(h.c().QueryServiceStatusCode(), STATUS_RUNNING);
  EXPECT_EQ(h.windows.looked.back(), "TAMRIXs_Class|TAMRIXs");
}

TEST(BackgroundProgramController, StartLaunchesTheProgramSettlesThenWaits) {
  Harness h;
  EXPECT_EQ(h.c().StartTheService(), 1);
  EXPECT_EQ(h.launched, Strings{kServicePath});
  EXPECT_EQ(h.clock.sleeps, std::vector<int>{2000});
  EXPECT_EQ(h.c().status(), STATUS_RUNNING);

  Harness failed;
  failed.launchResult = ERROR_FILE_NOT_FOUND;
  EXPECT_EQ(failed.c().StartTheService(), 0);
  EXPECT_TRUE(failed.clock.sleeps.empty());
  EXPECT_EQ(failed.c().derivations(), 0);

  Harness neverUp;
  neverUp.launchShowsWindow = false;
  EXPECT_EQ(neverUp.c().StartTheService(), 0);
  EXPECT_EQ(neverUp.Polls(), 1001);
}

TEST(BackgroundProgramController, StopClosesTheWindowAndWaitsForItToGo) {
  Harness h;
  h.windows.up = true;
  h.windows.lingerFinds = 2;  // still found twice after the close
  EXPECT_EQ(h.c().StopTheService(), 1);
  EXPECT_EQ(h.windows.sent, std::vector<std::uint32_t>{WM_CLOSE});
  EXPECT_EQ(h.clock.sleeps, (std::vector<int>{1000, 50, 50}));
  EXPECT_EQ(h.c().status(), STATUS_STOPPED);

  Harness absent;
  EXPECT_EQ(absent.c().StopTheService(), 1);
  EXPECT_TRUE(absent.windows.sent.empty());
  EXPECT_EQ(absent.clock.sleeps, std::vector<int>{1000});

  Harness stuck;
  stuck.windows.up = true;
  stuck.windows.lingerFinds = -1;
  EXPECT_EQ(stuck.c().StopTheService(), 0);
  EXPECT_EQ(stuck.Polls(), 1001);
}

TEST(BackgroundProgramController, PauseAndContinueDoNothing) {
  Harness h;
  h.windows.up = true;
  EXPECT_EQ(h.c().PauseTheService(), 0);
  EXPECT_EQ(h.c().ContinueTheService(), 0);
  EXPECT_TRUE(h.windows.looked.empty());
  EXPECT_TRUE(h.windows.sent.empty());
  EXPECT_TRUE(h.clock.sleeps.empty());
}

TEST(BackgroundProgramController, StartupTypeReadsTheRunServicesValue) {
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
    Harness h;
    if (c.key && c.type != 0) {
      h.registry.Put(kRunServices, "TAMRIXs", c.type, c.data);
    } else if (c.key) {
      h.registry.Put(kRunServices, "Other", REG_SZ, RegistryStringData("/bin/other"));
    }
    EXPECT_EQ(h.c().QueryStartupType(), c.expected) << c.name;
    EXPECT_EQ(h.c().startupType(), c.expected) << c.name;
  }
  Harness unreadable;
  unreadable.registry.Put(kRunServices, "TAMRIXs", REG_SZ, RegistryStringData(kServicePath));
  unreadable.registry.failures.push_back({"OpenKey", "RunServices", ERROR_ACCESS_DENIED});
  EXPECT_EQ(unreadable.c().QueryStartupType(), STARTUP_MANUAL);
}

TEST(BackgroundProgramController, AutomaticWritesThePathAndManualDeletesIt) {
  Harness h;
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

TEST(BackgroundProgramController, OtherTypesAndRegistryFailuresChangeNothing) {
  for (const StartupType type : {STARTUP_DISABLED, STARTUP_UNKNOWN}) {
    Harness h;
    h.registry.Put(kRunServices, "TAMRIXs", REG_SZ, RegistryStringData(kServicePath));
    h.c().SetStartupType(type);
    EXPECT_EQ(h.c().ApplyStartupType(), -1);
    EXPECT_TRUE(h.registry.Value(kRunServices, "TAMRIXs").has_value());
  }
  Harness noKey;
  noKey.registry.failures.push_back({"CreateKey", "RunServices", ERROR_ACCESS_DENIED});
  noKey.c().SetStartupType(STARTUP_AUTOMATIC);
  EXPECT_EQ(noKey.c().ApplyStartupType(), -1);

  Harness denied;
  denied.registry.failures.push_back({"SetValue", "RunServices", ERROR_ACCESS_DENIED});
  denied.c().SetStartupType(STARTUP_AUTOMATIC);
  EXPECT_EQ(denied.c().ApplyStartupType(), ERROR_ACCESS_DENIED);

  Harness missing;
  missing.c().SetStartupType(STARTUP_MANUAL);
  EXPECT_EQ(missing.c().ApplyStartupType(), ERROR_FILE_NOT_FOUND);
}

// --- the machine's platform setting -------------------------------------------------------

TEST(PlatformSetting, NTUnlessTheMachineSaysWindows95) {
  char pattern[] = "/tmp/tamrix-platform-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const MachinePaths paths{pattern};
  FakeServiceManager manager;
  FakeRegistry registry;
  ScriptedWindows windows;
  FakeClock clock;
  EXPECT_FALSE(IsWindows95(paths));  // no setting at all
  EXPECT_TRUE(MakeServiceControl(paths, manager, registry, windows, clock)->IsNT());
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
    EXPECT_EQ(MakeServiceControl(paths, manager, registry, windows, clock)->IsNT(), !c.is95)
        << c.contents;
  }
  std::filesystem::remove_all(pattern);
  EXPECT_EQ(BackgroundProgramPath(paths),
            std::string(pattern) + "/usr/local/lib/TAMRIX/TAMRIXs.exe");
}

}  // namespace
}  // namespace tamrix
