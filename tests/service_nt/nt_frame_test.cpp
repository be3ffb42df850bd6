#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "tests/fakes/standin_status_publication.h"
#include "service_nt/event_reporter.h"
#include "service_nt/nt_engine_operations.h"
#include "service_nt/nt_service_frame.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_conflict_probe.h"
#include "tests/fakes/fake_file_system.h"
#include "tests/fakes/fake_host_lookup.h"
#include "tests/fakes/fake_service_manager.h"
#include "tests/fakes/fake_udp_socket.h"
#include "tests/fakes/recording_event_log.h"

namespace tamrix {
namespace {

using testing::FakeClock;
using testing::FakeServiceHost;
using testing::FakeServiceManager;
using Strings = std::vector<std::string>;

constexpr const char* kOwnPath = "/usr/local/lib/TAMRIX/TAMXNTs.exe";

// Records the frame's engine calls; the handler and ServiceMain call from different threads.
class RecordingEngine final : public NtServiceEngine {
 public:
  int EngineStart() override {
    if (duringStart) duringStart();
    return Record("start", startResult);
  }
  int EngineStop() override { return Record("stop", 1); }
  int EnginePause() override { return Record("pause", 1); }
  int EngineContinue() override { return Record("continue", 1); }
  int LastErrorCode() const override { return startError; }

  Strings Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }

  int startResult = 1;
  int startError = 0;
  std::function<void()> duringStart;

 private:
  int Record(const char* call, int result) {
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
    return result;
  }
  std::mutex mutex_;
  Strings calls_;
};

struct Report {
  std::uint32_t state, accepted, exitCode, checkPoint, waitHint;
  bool operator==(const Report&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Report& r) {
  return out << "{" << r.state << "," << r.accepted << "," << r.exitCode << "," << r.checkPoint
             << "," << r.waitHint << "}";
}

// The reports every successful start makes, in order.
const std::vector<Report> kStartReports = {
    {SERVICE_START_PENDING, 0, 0, 1, 5000},
    {SERVICE_START_PENDING, 0, 0, 2, 5000},
    {SERVICE_START_PENDING, 0, 0, 3, 5000},
    {SERVICE_RUNNING, 7, 0, 0, 0},
};

std::vector<Report> Concat(std::vector<Report> a, const std::vector<Report>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Harness {
  FakeServiceManager manager;
  FakeServiceHost host;
  RecordingEngine engine;
  FakeClock clock;
  std::string ownPath = kOwnPath;
  int ownPathError = 0;
  std::string out;
  NtServiceFrame frame{NtFrameEnvironment{manager, host, engine, clock,
                                          [this](std::string* path) {
                                            *path = ownPath;
                                            return ownPathError;
                                          },
                                          [this](std::string_view text) { out += text; }}};

  int Run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), kOwnPath);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    return frame.Main(static_cast<int>(arguments.size()), argv.data());
  }

  std::vector<Report> Reports() {
    std::vector<Report> reports;
    for (const ServiceStatusReport& r : host.Reports()) {
      EXPECT_EQ(r.serviceType, SERVICE_WIN32_OWN_PROCESS);
      EXPECT_EQ(r.serviceSpecificExitCode, 0u);
      reports.push_back(
          {r.currentState, r.controlsAccepted, r.win32ExitCode, r.checkPoint, r.waitHint});
    }
    return reports;
  }

  void InstallExisting(std::uint32_t state) {
    ServiceConfig config;
    config.name = kNtServiceName;
    config.displayName = kNtServiceDisplayName;
    config.imagePath = kOwnPath;
    manager.Install(config, state);
  }

  // Every handle the frame opened was closed again.
  bool HandlesClosed() const { return manager.handles.empty(); }
};

// --- the command line ---------------------------------------------------------------------

TEST(NtFrameSwitches, OnlyAHyphenThenTheWordInAnyCaseIsASwitch) {
  struct Case {
    std::vector<std::string> arguments;
    bool installs;
  };
  const Case cases[] = {
      {{"-install"}, true},   {{"-INSTALL"}, true},  {{"-InStAlL", "extra"}, true},
      {{"install"}, false},   {{"/install"}, false}, {{"--install"}, false},
      {{"-installx"}, false}, {{"-"}, false},        {{}, false},
      {{""}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.empty() ? "(none)" : c.arguments[0]);
    Harness h;
    h.host.startedByManager = false;
    const int code = h.Run(c.arguments);
    if (c.installs) {
      EXPECT_EQ(code, 0);
      EXPECT_EQ(h.out, "DHCP Service for ZAVO installed.\n");
      EXPECT_TRUE(h.host.dispatchedNames.empty());
    } else {
      // Not started by the manager: the dispatcher refuses, and its code is the exit code.
      EXPECT_EQ(code, 1063);
      EXPECT_EQ(h.out, "Error #1063 In StartServiceCtrlDispatcher\n");
      EXPECT_EQ(h.host.dispatchedNames, Strings{"TAMXNTs"});
      EXPECT_TRUE(h.manager.services.empty());
    }
  }
}

TEST(NtFrameSwitches, UninstallInAnyCaseRemoves) {
  for (const char* word : {"-uninstall", "-UNINSTALL", "-UnInstall"}) {
    Harness h;
    h.InstallExisting(SERVICE_STOPPED);
    EXPECT_EQ(h.Run({word}), 0) << word;
    EXPECT_EQ(h.out, "DHCP Service for ZAVO removed.\n");
    EXPECT_TRUE(h.manager.services.empty());
  }
}

TEST(NtFrameInstall, RegistersTheProgramItselfOnDemand) {
  Harness h;
  ASSERT_EQ(h.frame.InstallService(1), 0);
  const FakeServiceManager::Service* service = h.manager.Find("TAMXNTs");
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(service->config.name, "TAMXNTs");
  EXPECT_EQ(service->config.displayName, "DHCP Service for ZAVO");
  EXPECT_EQ(service->config.serviceType, SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(service->config.startType, SERVICE_DEMAND_START);
  EXPECT_EQ(service->config.errorControl, SERVICE_ERROR_NORMAL);
  EXPECT_EQ(service->config.imagePath, kOwnPath);
  EXPECT_EQ(service->config.account, "LocalSystem");
  EXPECT_EQ(h.manager.calls[0], "OpenManager 2");
  EXPECT_EQ(h.manager.calls[1], "CreateService TAMXNTs 983551");  // SERVICE_ALL_ACCESS
  EXPECT_TRUE(h.HandlesClosed());
}

TEST(NtFrameInstall, InstallingTwiceReportsThatTheServiceExists) {
  Harness h;
  ASSERT_EQ(h.frame.InstallService(1), 0);
  h.out.clear();
  EXPECT_EQ(h.frame.InstallService(1), 1073);
  EXPECT_EQ(h.out, "Error #1073 In CreateService\n");
  EXPECT_TRUE(h.HandlesClosed());
}

TEST(NtFrameInstall, RemovingAMissingServiceReportsIt) {
  Harness h;
  EXPECT_EQ(h.frame.InstallService(0), 1060);
  EXPECT_EQ(h.out, "Error #1060 In OpenService\n");
  EXPECT_TRUE(h.HandlesClosed());
}

TEST(NtFrameInstall, RemovingARunningServiceStopsItWaitsAndDeletes) {
  for (const std::uint32_t state : {SERVICE_RUNNING, SERVICE_PAUSED}) {
    Harness h;
    h.InstallExisting(state);
    EXPECT_EQ(h.frame.InstallService(0), 0);
    EXPECT_EQ(h.out, "Stopping Service...\nDHCP Service for ZAVO removed.\n");
    const Strings expected = {"OpenManager 2",
                              "OpenService TAMXNTs 983551",
                              "QueryServiceStatus TAMXNTs",
                              "ControlService TAMXNTs 1",
                              "DeleteService TAMXNTs",
                              "CloseServiceHandle TAMXNTs",
                              "CloseServiceHandle "};
    EXPECT_EQ(h.manager.calls, expected);
    EXPECT_EQ(h.clock.sleeps, std::vector<int>{500});
    EXPECT_TRUE(h.manager.services.empty());
  }
}

TEST(NtFrameInstall, RemovingAStoppedServiceNeitherStopsNorWaits) {
  Harness h;
  h.InstallExisting(SERVICE_STOPPED);
  EXPECT_EQ(h.frame.InstallService(0), 0);
  EXPECT_EQ(h.out, "DHCP Service for ZAVO removed.\n");
  EXPECT_TRUE(h.clock.sleeps.empty());
}

// Each failing call prints its own text, gives its code, stops the routine there and closes what
// was opened.
TEST(NtFrameInstall, EachFailingCallIsNamedAndEndsTheRoutine) {
  struct Case {
    const char* name;
    int install;
    std::string failing;  // manager operation, or "path"
    int code;
    std::string out;
    bool serviceRemains;
  };
  const Case cases[] = {
      {"manager", 1, "OpenManager", 5, "Error #5 In OpenSCManager\n", false},
      {"manager on removal", 0, "OpenManager", 5, "Error #5 In OpenSCManager\n", true},
      {"own path", 1, "path", 2, "Error #2 In GetModuleFileName\n", false},
      {"create", 1, "CreateService", 5, "Error #5 In CreateService\n", false},
      {"query", 0, "QueryServiceStatus", 6, "Error #6 In QueryServiceStatus\n", true},
      {"stop", 0, "ControlService", 1061, "Stopping Service...\nError #1061 In ControlService\n",
       true},
      {"delete", 0, "DeleteService", 1072, "Stopping Service...\nError #1072 In DeleteService\n",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    if (c.install == 0) h.InstallExisting(SERVICE_RUNNING);
    if (c.failing == "path") {
      h.ownPathError = c.code;
    } else {
      h.manager.failures[c.failing] = c.code;
    }
    EXPECT_EQ(h.frame.InstallService(c.install), c.code);
    EXPECT_EQ(h.out, c.out);
    EXPECT_EQ(h.manager.Find("TAMXNTs") != nullptr, c.serviceRemains);
    EXPECT_TRUE(h.HandlesClosed());
  }
}

TEST(NtFrameInstall, APathTooLongForItsBufferIsRefusedNotCut) {
  Harness h;
  h.ownPath = "/" + std::string(kModulePathCapacity - 1, 'x');  // 512 characters, no room for NUL
  EXPECT_EQ(h.frame.InstallService(1), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(h.out, "Error #122 In GetModuleFileName\n");
  EXPECT_TRUE(h.manager.services.empty());
  h.out.clear();
  h.ownPath.pop_back();  // 511 characters fit
  EXPECT_EQ(h.frame.InstallService(1), 0);
  EXPECT_EQ(h.manager.Find("TAMXNTs")->config.imagePath, h.ownPath);
}

// --- the running service ------------------------------------------------------------------

TEST(NtFrameService, ControlsMapOntoTheEngineRowByRow) {
  struct Case {
    const char* name;
    std::vector<std::uint32_t> controls;
    std::vector<Report> reports;  // after the start's
    Strings engine;               // after "start"
  };
  const std::uint32_t kUnknownControl = 128;
  const Case cases[] = {
      {"stop",
       {SERVICE_CONTROL_STOP},
       {{SERVICE_STOP_PENDING, 7, 0, 1, 5000}, {SERVICE_STOPPED, 7, 0, 0, 0}},
       {"stop"}},
      {"pause, pause again, continue, continue again, stop",
       {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE,
        SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_STOP},
       {{SERVICE_PAUSE_PENDING, 7, 0, 1, 1000},
        {SERVICE_PAUSED, 7, 0, 0, 0},
        {SERVICE_PAUSED, 7, 0, 0, 0},  // a paused service only reports
        {SERVICE_CONTINUE_PENDING, 7, 0, 1, 1000},
        {SERVICE_RUNNING, 7, 0, 0, 0},
        {SERVICE_RUNNING, 7, 0, 0, 0},  // a running service only reports
        {SERVICE_STOP_PENDING, 7, 0, 1, 5000},
        {SERVICE_STOPPED, 7, 0, 0, 0}},
       {"pause", "continue", "stop"}},
      {"stop while paused",
       {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_STOP},
       {{SERVICE_PAUSE_PENDING, 7, 0, 1, 1000},
        {SERVICE_PAUSED, 7, 0, 0, 0},
        {SERVICE_STOP_PENDING, 7, 0, 1, 5000},
        {SERVICE_STOPPED, 7, 0, 0, 0}},
       {"pause", "stop"}},
      {"interrogate and unknown codes report the state",
       {SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_INTERROGATE,
        kUnknownControl, SERVICE_CONTROL_STOP},
       {{SERVICE_RUNNING, 7, 0, 0, 0},
        {SERVICE_PAUSE_PENDING, 7, 0, 1, 1000},
        {SERVICE_PAUSED, 7, 0, 0, 0},
        {SERVICE_PAUSED, 7, 0, 0, 0},
        {SERVICE_PAUSED, 7, 0, 0, 0},
        {SERVICE_STOP_PENDING, 7, 0, 1, 5000},
        {SERVICE_STOPPED, 7, 0, 0, 0}},
       {"pause", "stop"}},
      {"shutdown",
       {SERVICE_CONTROL_SHUTDOWN},
       {{SERVICE_STOP_PENDING, 7, 0, 1, 5000},
        {SERVICE_STOP_PENDING, 7, 0, 0, 0},
        {SERVICE_STOPPED, 7, 0, 0, 0}},
       {"stop"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.host.pendingControls.assign(c.controls.begin(), c.controls.end());
    EXPECT_EQ(h.Run({}), 0);
    EXPECT_EQ(h.host.registeredNames, Strings{"TAMXNTs"});
    EXPECT_EQ(h.Reports(), Concat(kStartReports, c.reports));
    Strings engine{"start"};
    engine.insert(engine.end(), c.engine.begin(), c.engine.end());
    EXPECT_EQ(h.engine.Calls(), engine);
    EXPECT_FALSE(h.frame.Running());
  }
}

TEST(NtFrameService, ARefusedStartStopsWithItsCodeAndNeverRuns) {
  Harness h;
  h.engine.startResult = 0;
  h.engine.startError = ERROR_INVALID_DATA;
  EXPECT_EQ(h.Run({}), 0);
  const std::vector<Report> expected = {
      {SERVICE_START_PENDING, 0, 0, 1, 5000},
      {SERVICE_START_PENDING, 0, 0, 2, 5000},
      {SERVICE_START_PENDING, 0, 0, 3, 5000},
      {SERVICE_STOPPED, 7, ERROR_INVALID_DATA, 0, 0},
  };
  EXPECT_EQ(h.Reports(), expected);
  EXPECT_EQ(h.engine.Calls(), Strings{"start"});
}

// A status the manager cannot take stops the engine, wherever it happens, and the service still
// ends STOPPED without the engine left serving.
TEST(NtFrameService, AReportThatCannotBeSentStopsTheEngine) {
  struct Case {
    const char* name;
    int acceptedReports;
    std::vector<std::uint32_t> controls;
  };
  const Case cases[] = {
      {"first start-pending report", 0, {}},
      {"second start-pending report", 1, {}},
      {"running report", 3, {}},
      {"pause-pending report", 4, {SERVICE_CONTROL_PAUSE}},
      {"paused report", 5, {SERVICE_CONTROL_PAUSE}},
      {"interrogation", 4, {SERVICE_CONTROL_INTERROGATE}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.host.failReportsFrom = c.acceptedReports;
    h.host.pendingControls.assign(c.controls.begin(), c.controls.end());
    EXPECT_EQ(h.Run({}), 0);
    const Strings calls = h.engine.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "stop");
    EXPECT_EQ(h.Reports().back().state, SERVICE_STOPPED);
    EXPECT_FALSE(h.frame.Running());
  }
}

TEST(NtFrameService, AFailedPausePendingReportDoesNotPause) {
  Harness h;
  h.host.failReportsFrom = 4;
  h.host.pendingControls = {SERVICE_CONTROL_PAUSE};
  h.Run({});
  EXPECT_EQ(h.engine.Calls(), (Strings{"start", "stop", "stop"}));
  EXPECT_FALSE(h.frame.Paused());
}

// A terminating signal while serving stops the service as the shutdown control does.
TEST(NtFrameService, ATerminatedServiceShutsDownItsEngine) {
  Harness h;
  std::thread dispatcher([&] { EXPECT_EQ(h.Run({}), 0); });
  // The frame counts as running before it reports RUNNING.
  EXPECT_TRUE(h.host.WaitForReport(SERVICE_RUNNING) && h.frame.Running());
  h.frame.RequestShutdown();
  dispatcher.join();
  EXPECT_EQ(h.Reports(), Concat(kStartReports, {{SERVICE_STOP_PENDING, 7, 0, 1, 5000},
                                                {SERVICE_STOP_PENDING, 7, 0, 0, 0},
                                                {SERVICE_STOPPED, 7, 0, 0, 0}}));
  EXPECT_EQ(h.engine.Calls(), (Strings{"start", "stop"}));
}

// A signal that comes while the engine is still starting must not leave it serving for good.
TEST(NtFrameService, ATerminationDuringTheStartEndsTheServiceOnceUp) {
  Harness h;
  h.engine.duringStart = [&] { h.frame.RequestShutdown(); };
  EXPECT_EQ(h.Run({}), 0);
  EXPECT_EQ(h.engine.Calls(), (Strings{"start", "stop"}));
  EXPECT_EQ(h.Reports().back(), (Report{SERVICE_STOPPED, 7, 0, 0, 0}));
  EXPECT_FALSE(h.frame.Running());
}

TEST(NtFrameService, WithoutAControlHandlerNothingStarts) {
  Harness h;
  h.host.failRegistration = true;
  EXPECT_EQ(h.Run({}), 0);
  EXPECT_TRUE(h.Reports().empty());
  EXPECT_TRUE(h.engine.Calls().empty());
}

// The real engine on fakes, made at the first start as the program makes its own: a switch
// makes none (making it opens port 67), and a settings file whose pool is empty (end before
// start) is refused, so the service goes from START_PENDING to STOPPED with a non-zero code and
// never RUNNING.
TEST(NtFrameService, SettingsTheEngineRefusesNeverReachRunning) {
  testing::FakeFileSystem files;
  files.files["/win/TAMRIX.ini"] =
      "[TAMRIX]\r\nStartIPAddr=192.168.0.20\r\nEndIPAddr=192.168.0.10\r\n"
      "SubnetMask=255.255.255.0\r\n";
  FakeClock clock;
  testing::FakeHostLookup hosts;
  hosts.thisHost = {0xC0A80001};
  testing::FakeConflictProbe probe;
  testing::FakeUdpNetwork network;
  testing::RecordingEventLog log;
  EventReporter reporter(log);
  StandInStatusPublication publication;
  Engine engine(
      EngineEnvironment{"/win", files, clock, hosts, probe, network, reporter, publication, false});
  int made = 0;
  NtEngineOperations operations([&]() -> Engine& { return ++made, engine; });
  FakeServiceManager manager;
  FakeServiceHost host;
  NtServiceFrame frame(NtFrameEnvironment{manager, host, operations, clock,
                                          [](std::string* path) {
                                            *path = kOwnPath;
                                            return 0;
                                          },
                                          [](std::string_view) {}});
  char name[] = "TAMXNTs.exe";
  char install[] = "-install";
  char* installArgv[] = {name, install, nullptr};
  EXPECT_EQ(frame.Main(2, installArgv), 0);
  EXPECT_EQ(made, 0);
  char* argv[] = {name, nullptr};
  EXPECT_EQ(frame.Main(1, argv), 0);
  EXPECT_EQ(made, 1);
  const std::vector<ServiceStatusReport> reports = host.Reports();
  ASSERT_EQ(reports.size(), 4u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(reports[i].currentState, SERVICE_START_PENDING);
  EXPECT_EQ(reports[3].currentState, SERVICE_STOPPED);
  EXPECT_EQ(reports[3].win32ExitCode, static_cast<std::uint32_t>(ERROR_INVALID_DATA));
  EXPECT_FALSE(engine.IsRunning());
}

}  // namespace
}  // namespace tamrix
