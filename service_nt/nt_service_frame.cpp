#include "service_nt/nt_service_frame.h"

#include <cstdio>
#include <utility>

namespace tamrix {

namespace {

constexpr std::uint32_t kStartWaitHintMs = 5000;
constexpr std::uint32_t kPauseWaitHintMs = 1000;
constexpr int kRemovalStopWaitMs = 500;

bool EqualsIgnoringCase(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != word[i]) return false;
  }
  return true;
}

// 1 for the install switch, 0 for the uninstall switch, -1 for anything else.
int SwitchOf(int argc, char** argv) {
  if (argc > 1 && argv[1] != nullptr && argv[1][0] == '-') {
    const std::string_view rest(argv[1] + 1);
    if (EqualsIgnoringCase(rest, "install")) return 1;
    if (EqualsIgnoringCase(rest, "uninstall")) return 0;
  }
  return -1;
}

}  // namespace

void ManualResetEvent::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  changed_.notify_all();
}

void ManualResetEvent::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return set_; });
}

bool ManualResetEvent::IsSet() {
  std::lock_guard lock(mutex_);
  return set_;
}

NtServiceFrame::NtServiceFrame(NtFrameEnvironment environment) : env_(std::move(environment)) {}

bool NtServiceFrame::IsCommandSwitch(int argc, char** argv) {
  return SwitchOf(argc, argv) >= 0;
}

int NtServiceFrame::Main(int argc, char** argv) {
  if (const int install = SwitchOf(argc, argv); install >= 0) return InstallService(install);
  const int code = env_.host.StartDispatcher(
      kNtServiceName, [this](int count, char** arguments) { ServiceMain(count, arguments); });
  if (code == ERROR_SUCCESS) return 0;
  PrintError(code, "In StartServiceCtrlDispatcher");
  return code;
}

void NtServiceFrame::PrintError(int code, std::string_view call) {
  char line[64];
  std::snprintf(line, sizeof line, "Error #%d ", code);
  env_.out(std::string(line) + std::string(call) + "\n");
}

int NtServiceFrame::InstallService(int install) {
  ServiceHandle manager = 0;
  if (const int code = env_.manager.OpenManager(SC_MANAGER_CREATE_SERVICE, &manager);
      code != ERROR_SUCCESS) {
    PrintError(code, "In OpenSCManager");
    return code;
  }
  ServiceHandle service = 0;
  int result = ERROR_SUCCESS;
  if (install != 0) {
    std::string path;
    result = env_.modulePath(&path);
    if (result == ERROR_SUCCESS && path.size() >= kModulePathCapacity) {
      // A cut path would register a program that does not exist.
      result = ERROR_INSUFFICIENT_BUFFER;
    }
    if (result != ERROR_SUCCESS) {
      PrintError(result, "In GetModuleFileName");
    } else {
      ServiceConfig config;
      config.name = kNtServiceName;
      config.displayName = kNtServiceDisplayName;
      config.serviceType = SERVICE_WIN32_OWN_PROCESS;
      config.startType = SERVICE_DEMAND_START;
      config.errorControl = SERVICE_ERROR_NORMAL;
      config.imagePath = path;
      result = env_.manager.CreateService(manager, config, SERVICE_ALL_ACCESS, &service);
      if (result == ERROR_SUCCESS) {
        env_.out(std::string(kNtServiceDisplayName) + " installed.\n");
      } else {
        service = 0;
        PrintError(result, "In CreateService");
      }
    }
  } else {
    result = Remove(manager, &service);
  }
  if (service != 0) env_.manager.CloseServiceHandle(service);
  env_.manager.CloseServiceHandle(manager);
  return result;
}

int NtServiceFrame::Remove(ServiceHandle manager, ServiceHandle* service) {
  if (const int code =
          env_.manager.OpenService(manager, kNtServiceName, SERVICE_ALL_ACCESS, service);
      code != ERROR_SUCCESS) {
    *service = 0;
    PrintError(code, "In OpenService");
    return code;
  }
  ServiceStatusReport status;
  if (const int code = env_.manager.QueryServiceStatus(*service, &status); code != ERROR_SUCCESS) {
    PrintError(code, "In QueryServiceStatus");
    return code;
  }
  if (status.currentState != SERVICE_STOPPED) {
    env_.out("Stopping Service...\n");
    if (const int code = env_.manager.ControlService(*service, SERVICE_CONTROL_STOP, &status);
        code != ERROR_SUCCESS) {
      PrintError(code, "In ControlService");
      return code;
    }
    // The manager finishes the deletion once the service has stopped; no need to wait for it.
    env_.clock.SleepMilliseconds(kRemovalStopWaitMs);
  }
  if (const int code = env_.manager.DeleteService(*service); code != ERROR_SUCCESS) {
    PrintError(code, "In DeleteService");
    return code;
  }
  env_.out(std::string(kNtServiceDisplayName) + " removed.\n");
  return ERROR_SUCCESS;
}

void NtServiceFrame::ServiceMain(int /*argc*/, char** /*argv*/) {
  statusHandle_ = env_.host.RegisterControlHandler(
      kNtServiceName, [this](std::uint32_t control) { ServiceCtrlHandler(control); });
  if (statusHandle_ == 0) return;

  int error = ERROR_SUCCESS;
  ReportStatus(SERVICE_START_PENDING, 0, 0, 1, kStartWaitHintMs);
  ReportStatus(SERVICE_START_PENDING, 0, 0, 2, kStartWaitHintMs);
  ReportStatus(SERVICE_START_PENDING, 0, 0, 3, kStartWaitHintMs);
  if (env_.engine.EngineStart() != 0) {
    running_.store(true);
    ReportStatus(SERVICE_RUNNING, 0, 0, 0, 0);
    stopEvent_.Wait();
  } else {
    error = env_.engine.LastErrorCode();
  }

  std::lock_guard lock(controlMutex_);
  // A stop requested by a failed report before the engine came up must not leave it serving
  // in a process that is about to end.
  if (running_.load()) StopTheEngine();
  ReportStatus(SERVICE_STOPPED, static_cast<std::uint32_t>(error), 0, 0, 0);
}

int NtServiceFrame::ReportStatus(std::uint32_t state, std::uint32_t win32ExitCode,
                                 std::uint32_t serviceSpecificExitCode, std::uint32_t checkPoint,
                                 std::uint32_t waitHint) {
  ServiceStatusReport status;
  status.serviceType = SERVICE_WIN32_OWN_PROCESS;
  status.currentState = state;
  status.controlsAccepted =
      state == SERVICE_START_PENDING
          ? 0
          : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN;
  status.win32ExitCode =
      serviceSpecificExitCode != 0 ? ERROR_SERVICE_SPECIFIC_ERROR : win32ExitCode;
  status.serviceSpecificExitCode = serviceSpecificExitCode;
  status.checkPoint = checkPoint;
  status.waitHint = waitHint;
  const int result = env_.host.SetServiceStatus(statusHandle_.load(), status);
  if (result == 0) StopTheEngine();
  return result;
}

void NtServiceFrame::StopTheEngine() {
  env_.engine.EngineStop();
  running_.store(false);
  stopEvent_.Set();
}

std::uint32_t NtServiceFrame::CurrentState() const {
  if (!running_.load()) return SERVICE_STOPPED;
  return paused_.load() ? SERVICE_PAUSED : SERVICE_RUNNING;
}

void NtServiceFrame::ReportCurrentState() {
  ReportStatus(CurrentState(), 0, 0, 0, 0);
}

void NtServiceFrame::RequestShutdown() {
  if (running_.load()) {
    ServiceCtrlHandler(SERVICE_CONTROL_SHUTDOWN);
    return;
  }
  stopEvent_.Set();
}

void NtServiceFrame::ServiceCtrlHandler(std::uint32_t control) {
  std::lock_guard lock(controlMutex_);
  switch (control) {
    case SERVICE_CONTROL_STOP:
      ReportStatus(SERVICE_STOP_PENDING, 0, 0, 1, kStartWaitHintMs);
      StopTheEngine();
      return;
    case SERVICE_CONTROL_PAUSE:
      if (!running_.load() || paused_.load()) break;
      // A report that could not be sent has stopped the service: nothing left to pause.
      if (ReportStatus(SERVICE_PAUSE_PENDING, 0, 0, 1, kPauseWaitHintMs) == 0) return;
      env_.engine.EnginePause();
      paused_.store(true);
      ReportStatus(SERVICE_PAUSED, 0, 0, 0, 0);
      return;
    case SERVICE_CONTROL_CONTINUE:
      if (!running_.load() || !paused_.load()) break;
      if (ReportStatus(SERVICE_CONTINUE_PENDING, 0, 0, 1, kPauseWaitHintMs) == 0) return;
      paused_.store(false);
      env_.engine.EngineContinue();
      ReportStatus(SERVICE_RUNNING, 0, 0, 0, 0);
      return;
    case SERVICE_CONTROL_SHUTDOWN:
      if (!running_.load()) break;
      ReportStatus(SERVICE_STOP_PENDING, 0, 0, 1, kStartWaitHintMs);
      StopTheEngine();
      ReportStatus(SERVICE_STOP_PENDING, 0, 0, 0, 0);
      return;
    default:
      break;
  }
  ReportCurrentState();
}

}  // namespace tamrix
