#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/win32_error.h"

namespace tamrix {

// Service types, start types, error control and the "leave it" marker of ChangeServiceConfig.
inline constexpr std::uint32_t SERVICE_WIN32_OWN_PROCESS = 0x10;
inline constexpr std::uint32_t SERVICE_WIN32_SHARE_PROCESS = 0x20;
inline constexpr std::uint32_t SERVICE_AUTO_START = 2;
inline constexpr std::uint32_t SERVICE_DEMAND_START = 3;
inline constexpr std::uint32_t SERVICE_DISABLED = 4;
inline constexpr std::uint32_t SERVICE_ERROR_IGNORE = 0;
inline constexpr std::uint32_t SERVICE_ERROR_NORMAL = 1;
inline constexpr std::uint32_t SERVICE_ERROR_CRITICAL = 3;
inline constexpr std::uint32_t SERVICE_NO_CHANGE = 0xFFFFFFFF;

// Current states.
inline constexpr std::uint32_t SERVICE_STOPPED = 1;
inline constexpr std::uint32_t SERVICE_START_PENDING = 2;
inline constexpr std::uint32_t SERVICE_STOP_PENDING = 3;
inline constexpr std::uint32_t SERVICE_RUNNING = 4;
inline constexpr std::uint32_t SERVICE_CONTINUE_PENDING = 5;
inline constexpr std::uint32_t SERVICE_PAUSE_PENDING = 6;
inline constexpr std::uint32_t SERVICE_PAUSED = 7;

// Controls, and the bits of controlsAccepted that admit them.
inline constexpr std::uint32_t SERVICE_CONTROL_STOP = 1;
inline constexpr std::uint32_t SERVICE_CONTROL_PAUSE = 2;
inline constexpr std::uint32_t SERVICE_CONTROL_CONTINUE = 3;
inline constexpr std::uint32_t SERVICE_CONTROL_INTERROGATE = 4;
inline constexpr std::uint32_t SERVICE_CONTROL_SHUTDOWN = 5;
inline constexpr std::uint32_t SERVICE_ACCEPT_STOP = 1;
inline constexpr std::uint32_t SERVICE_ACCEPT_PAUSE_CONTINUE = 2;
inline constexpr std::uint32_t SERVICE_ACCEPT_SHUTDOWN = 4;

// Access masks callers pass along (recorded, not enforced).
inline constexpr std::uint32_t SC_MANAGER_CONNECT = 1;
inline constexpr std::uint32_t SC_MANAGER_CREATE_SERVICE = 2;
inline constexpr std::uint32_t SC_MANAGER_ALL_ACCESS = 0xF003F;
inline constexpr std::uint32_t SERVICE_ALL_ACCESS = 0xF01FF;

// The status a service reports and the manager hands back, field for field.
struct ServiceStatusReport {
  std::uint32_t serviceType = SERVICE_WIN32_OWN_PROCESS;
  std::uint32_t currentState = SERVICE_STOPPED;
  std::uint32_t controlsAccepted = 0;
  std::uint32_t win32ExitCode = 0;
  std::uint32_t serviceSpecificExitCode = 0;
  std::uint32_t checkPoint = 0;
  std::uint32_t waitHint = 0;

  bool operator==(const ServiceStatusReport&) const = default;
};

// A service's registration. imagePath is the program's full path on this machine; it is run
// without arguments.
struct ServiceConfig {
  std::string name;
  std::string displayName;
  std::uint32_t serviceType = SERVICE_WIN32_OWN_PROCESS;
  std::uint32_t startType = SERVICE_DEMAND_START;
  std::uint32_t errorControl = SERVICE_ERROR_NORMAL;
  std::string imagePath;
  std::string account = "LocalSystem";
};

// An open manager or service; 0 is never a handle.
using ServiceHandle = std::uint32_t;

// The controller's side of the service manager: what an installer or a control panel calls.
// Every operation returns 0 or an error code from win32_error.h, among them
//   6    a handle that is not open or of the wrong kind;
//   87   a start type, service type or error control out of range;
//   123  a service name that is empty or holds "/" or "\";
//   1052 a control code that is not one of the five;
//   1053 a service that did not answer in time;
//   1056 starting a service that runs;       1058 starting a disabled service;
//   1060 a service that does not exist;      1061 a control the service does not accept now;
//   1062 a control to a service that does not run;
//   1072 a service marked for deletion;      1073 creating a service that exists.
class ServiceManager {
 public:
  virtual ~ServiceManager() = default;

  virtual int OpenManager(std::uint32_t access, ServiceHandle* manager) = 0;
  virtual int CreateService(ServiceHandle manager, const ServiceConfig& config,
                            std::uint32_t access, ServiceHandle* service) = 0;
  virtual int OpenService(ServiceHandle manager, const std::string& name, std::uint32_t access,
                          ServiceHandle* service) = 0;
  virtual int CloseServiceHandle(ServiceHandle handle) = 0;

  // A stopped service is deleted at once; a running one is marked and goes when it stops.
  virtual int DeleteService(ServiceHandle service) = 0;
  // Launches the program and returns when it has connected to the manager (or has died: 1053).
  virtual int StartService(ServiceHandle service) = 0;
  // Delivers the control to the service's handler and returns its status after the handler ran.
  virtual int ControlService(ServiceHandle service, std::uint32_t control,
                             ServiceStatusReport* status) = 0;
  // The last status the service reported; a service whose process is gone reads as stopped.
  virtual int QueryServiceStatus(ServiceHandle service, ServiceStatusReport* status) = 0;
  virtual int QueryServiceConfig(ServiceHandle service, ServiceConfig* config) = 0;
  // SERVICE_NO_CHANGE leaves a number as it is; a null pointer leaves a text.
  virtual int ChangeServiceConfig(ServiceHandle service, std::uint32_t serviceType,
                                  std::uint32_t startType, std::uint32_t errorControl,
                                  const std::string* imagePath,
                                  const std::string* displayName) = 0;
};

using ServiceMainFunction = std::function<void(int argc, char** argv)>;
using ServiceControlHandler = std::function<void(std::uint32_t control)>;
// Names the service whose status is reported; 0 is never one.
using ServiceStatusHandle = std::uint32_t;

// The service process's side of the manager.
class ServiceHost {
 public:
  virtual ~ServiceHost() = default;
  // Connects to the manager, runs serviceMain on a thread of its own (argv[0] is the service
  // name) and calls the control handler on the calling thread until the service reports
  // SERVICE_STOPPED. 0 then; 1063 when the process was not started by the manager; another code
  // when the connection could not be set up.
  virtual int StartDispatcher(const std::string& serviceName, ServiceMainFunction serviceMain) = 0;
  // 0 when called outside a dispatched service.
  virtual ServiceStatusHandle RegisterControlHandler(const std::string& serviceName,
                                                     ServiceControlHandler handler) = 0;
  // Publishes the status: 1 when it was recorded, 0 when not (bad handle, state out of range,
  // nowhere to write).
  virtual int SetServiceStatus(ServiceStatusHandle handle, const ServiceStatusReport& status) = 0;
};

}  // namespace tamrix
