#include "control_panel/nt_service_controller.h"

#include "common/meeting_names.h"

namespace tamrix {

NtServiceController::NtServiceController(ServiceManager& manager, Clock& clock)
    : PolledServiceControl(clock), manager_(manager) {
  if (manager_.OpenManager(SC_MANAGER_CREATE_SERVICE, &managerHandle_) != ERROR_SUCCESS) {
    managerHandle_ = 0;
    return;
  }
  if (manager_.OpenService(managerHandle_, meeting::kNtServiceName, SERVICE_ALL_ACCESS,
                           &service_) != ERROR_SUCCESS) {
    service_ = 0;
  }
}

NtServiceController::~NtServiceController() {
  if (service_ != 0) manager_.CloseServiceHandle(service_);
  if (managerHandle_ != 0) manager_.CloseServiceHandle(managerHandle_);
}

// A pending state counts as the state being left.
ServiceStatus NtServiceController::DeriveStatus() {
  ServiceStatusReport report;
  if (service_ == 0 || manager_.QueryServiceStatus(service_, &report) != ERROR_SUCCESS) {
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
      return status();
  }
}

StartupType NtServiceController::ReadStartupType() {
  ServiceConfig config;
  if (service_ == 0 || manager_.QueryServiceConfig(service_, &config) != ERROR_SUCCESS) {
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

int NtServiceController::ApplyStartupType() {
  std::uint32_t startType = 0;
  switch (startupType()) {
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
  return manager_.ChangeServiceConfig(service_, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE,
                                      nullptr, nullptr) == ERROR_SUCCESS
             ? 0
             : -1;
}

int NtServiceController::StartTheService() {
  // A refused request returns at once; the status read afterwards shows what happened.
  if (manager_.StartService(service_) != ERROR_SUCCESS) return 1;
  return WaitForStatus(STATUS_RUNNING);
}

int NtServiceController::StopTheService() {
  return SendControl(SERVICE_CONTROL_STOP, STATUS_STOPPED);
}

int NtServiceController::PauseTheService() {
  return SendControl(SERVICE_CONTROL_PAUSE, STATUS_PAUSED);
}

int NtServiceController::ContinueTheService() {
  return SendControl(SERVICE_CONTROL_CONTINUE, STATUS_RUNNING);
}

int NtServiceController::SendControl(std::uint32_t control, ServiceStatus target) {
  ServiceStatusReport report;
  if (manager_.ControlService(service_, control, &report) != ERROR_SUCCESS) return 1;
  return WaitForStatus(target);
}

}  // namespace tamrix
