#include "control_panel/service_controller.h"

#include <utility>

namespace tamrix {

std::string Windows95ServicePath(const MachinePaths& paths) {
  return JoinPath(JoinPath(paths.SystemDirectory(), meeting::kInstallFolder), meeting::k95ServiceProgram);
}

ServiceController::ServiceController(ServiceControllerEnvironment environment)
    : env_(std::move(environment)) {
  if (!env_.isNT) return;
  if (env_.manager.OpenManager(SC_MANAGER_CREATE_SERVICE, &manager_) != ERROR_SUCCESS) {
    manager_ = 0;
    return;
  }
  if (env_.manager.OpenService(manager_, kControlledServiceName, SERVICE_ALL_ACCESS, &service_) !=
      ERROR_SUCCESS) {
    service_ = 0;
  }
}

ServiceController::~ServiceController() {
  if (service_ != 0) env_.manager.CloseServiceHandle(service_);
  if (manager_ != 0) env_.manager.CloseServiceHandle(manager_);
}

ServiceStatus ServiceController::QueryServiceStatusCode() {
  ++derivations_;
  if (!env_.isNT) {
    status_ = env_.windows.FindWindow(kWindows95WindowClass, kWindows95WindowTitle)
                  ? STATUS_RUNNING
                  : STATUS_STOPPED;
    return status_;
  }
  status_ = DeriveNT();
  return status_;
}

// A pending state counts as the state being left.
ServiceStatus ServiceController::DeriveNT() {
  ServiceStatusReport report;
  if (service_ == 0 || env_.manager.QueryServiceStatus(service_, &report) != ERROR_SUCCESS) {
    return STATUS_UNKNOWN;
  }
  switch (report.currentState) {
    case SERVICE_STOPPED:
    case SERVICE_START_PENDING:
      return STATUS_STOPPED;
    case SERVICE_STOP_PENDING:
    case SERVICE_RUNNING:
    case SERVICE_PAUSE_PENDING:
      return STATUS_RUNNING;
    case SERVICE_CONTINUE_PENDING:
    case SERVICE_PAUSED:
      return STATUS_PAUSED;
    default:
      return status_;
  }
}

StartupType ServiceController::QueryStartupType() {
  startupType_ = env_.isNT ? QueryStartupTypeNT() : QueryStartupType95();
  return startupType_;
}

StartupType ServiceController::QueryStartupTypeNT() {
  ServiceConfig config;
  if (service_ == 0 || env_.manager.QueryServiceConfig(service_, &config) != ERROR_SUCCESS) {
    return STARTUP_UNKNOWN;
  }
  switch (config.startType) {
    case SERVICE_AUTO_START:
      return STARTUP_AUTOMATIC;
    case SERVICE_DEMAND_START:
      return STARTUP_MANUAL;
    case SERVICE_DISABLED:
      return STARTUP_DISABLED;
    default:
      return STARTUP_UNKNOWN;
  }
}

StartupType ServiceController::QueryStartupType95() {
  ScopedRegistryKey key(env_.registry);
  if (env_.registry.OpenKey(HKEY_LOCAL_MACHINE, kRunServicesKeyPath, KEY_READ, key.out()) !=
      ERROR_SUCCESS) {
    return STARTUP_MANUAL;
  }
  RegistryValue value;
  if (env_.registry.QueryValue(key.get(), kRunServicesValueName, &value,
                               kRunServicesValueCapacity) != ERROR_SUCCESS) {
    return STARTUP_MANUAL;  // absent, or too long to be a path the boot would launch
  }
  // The boot launches either string type, so both mean automatic here.
  return value.type == REG_SZ || value.type == REG_EXPAND_SZ ? STARTUP_AUTOMATIC : STARTUP_UNKNOWN;
}

int ServiceController::ApplyStartupType() {
  if (!env_.isNT) return ApplyStartupType95();
  std::uint32_t startType = 0;
  switch (startupType_) {
    case STARTUP_AUTOMATIC:
      startType = SERVICE_AUTO_START;
      break;
    case STARTUP_MANUAL:
      startType = SERVICE_DEMAND_START;
      break;
    case STARTUP_DISABLED:
      startType = SERVICE_DISABLED;
      break;
    default:
      return -1;
  }
  if (service_ == 0) return -1;
  return env_.manager.ChangeServiceConfig(service_, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE,
                                          nullptr, nullptr) == ERROR_SUCCESS
             ? 0
             : -1;
}

int ServiceController::ApplyStartupType95() {
  if (startupType_ != STARTUP_AUTOMATIC && startupType_ != STARTUP_MANUAL) return -1;
  ScopedRegistryKey key(env_.registry);
  // Created lasting when missing: a volatile key would lose the value at the very boot it is
  // meant for.
  if (env_.registry.CreateKey(HKEY_LOCAL_MACHINE, kRunServicesKeyPath, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, key.out()) != ERROR_SUCCESS) {
    return -1;
  }
  if (startupType_ == STARTUP_AUTOMATIC) {
    return env_.registry.SetValue(key.get(), kRunServicesValueName, REG_SZ,
                                  RegistryStringData(env_.windows95ServicePath));
  }
  return env_.registry.DeleteValue(key.get(), kRunServicesValueName);
}

int ServiceController::WaitForStatus(ServiceStatus target) {
  int pauses = 0;
  while (QueryServiceStatusCode() != target) {
    env_.clock.SleepMilliseconds(kStatusPollMs);
    if (++pauses == kStatusGiveUpPause) return 0;
  }
  return 1;
}

int ServiceController::StartTheService() {
  if (!env_.isNT) {
    if (env_.launch(env_.windows95ServicePath) != 0) return 0;
    env_.clock.SleepMilliseconds(kWindows95StartSettleMs);
    return WaitForStatus(STATUS_RUNNING);
  }
  // A refused request returns at once; the status read afterwards shows what happened.
  if (env_.manager.StartService(service_) != ERROR_SUCCESS) return 1;
  return WaitForStatus(STATUS_RUNNING);
}

int ServiceController::StopTheService() {
  if (!env_.isNT) {
    if (const auto window = env_.windows.FindWindow(kWindows95WindowClass, kWindows95WindowTitle)) {
      env_.windows.SendMessage(*window, WM_CLOSE);
    }
    env_.clock.SleepMilliseconds(kWindows95StopSettleMs);
    return WaitForStatus(STATUS_STOPPED);
  }
  return SendControl(SERVICE_CONTROL_STOP, STATUS_STOPPED);
}

int ServiceController::PauseTheService() {
  if (!env_.isNT) return 0;
  return SendControl(SERVICE_CONTROL_PAUSE, STATUS_PAUSED);
}

int ServiceController::ContinueTheService() {
  if (!env_.isNT) return 0;
  return SendControl(SERVICE_CONTROL_CONTINUE, STATUS_RUNNING);
}

int ServiceController::SendControl(std::uint32_t control, ServiceStatus target) {
  ServiceStatusReport report;
  if (env_.manager.ControlService(service_, control, &report) != ERROR_SUCCESS) return 1;
  return WaitForStatus(target);
}

}  // namespace tamrix
