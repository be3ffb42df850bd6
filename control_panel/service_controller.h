#pragma once

#include <string>

#include "common/meeting_names.h"
#include "control_panel/service_control.h"
#include "platform/boot_services.h"
#include "platform/clock.h"
#include "platform/machine_paths.h"
#include "platform/registry.h"
#include "platform/service_manager.h"
#include "platform/window.h"

namespace tamrix {

inline constexpr const char* kControlledServiceName = meeting::kNtServiceName;
inline constexpr const char* kRunServicesValueName = meeting::k95ServiceName;
inline constexpr const char* kWindows95WindowClass = meeting::k95WindowClass;
inline constexpr const char* kWindows95WindowTitle = meeting::k95WindowTitle;

// Polling of WaitForStatus: one pause between derivations, and the pause that gives up.
inline constexpr int kStatusPollMs = 50;
inline constexpr int kStatusGiveUpPause = 1001;
// Pauses after launching the background program and after asking its window to close.
inline constexpr int kWindows95StartSettleMs = 2000;
inline constexpr int kWindows95StopSettleMs = 1000;
// The RunServices value is read into a buffer of this many bytes.
inline constexpr std::size_t kRunServicesValueCapacity = 256;

// The installation directory's TAMRIXs.exe: what the control panel launches and what the
// RunServices value names.
std::string Windows95ServicePath(const MachinePaths& paths);

// What the controller drives. isNT is fixed for the object's life (the machine's version word).
struct ServiceControllerEnvironment {
  bool isNT = true;
  ServiceManager& manager;
  Registry& registry;
  WindowSystem& windows;
  Clock& clock;
  ProgramLauncher launch;  // starts the background program detached
  std::string windows95ServicePath;
};

// The control panel's handle on the service: on NT the managed service kControlledServiceName, on Windows 95
// the background program TAMRIXs.exe, found by its window and started at boot through the
// RunServices value.
class ServiceController final : public ServiceControl {
 public:
  explicit ServiceController(ServiceControllerEnvironment environment);
  ~ServiceController() override;
  ServiceController(const ServiceController&) = delete;
  ServiceController& operator=(const ServiceController&) = delete;

  bool IsNT() const override { return env_.isNT; }
  ServiceStatus status() const override { return status_; }
  StartupType startupType() const override { return startupType_; }
  void SetStartupType(StartupType type) override { startupType_ = type; }

  ServiceStatus QueryServiceStatusCode() override;
  StartupType QueryStartupType() override;
  int ApplyStartupType() override;
  int StartTheService() override;
  int StopTheService() override;
  int PauseTheService() override;
  int ContinueTheService() override;

  // Derives the status until it is target: 1 when reached, 0 at the kStatusGiveUpPause-th pause.
  int WaitForStatus(ServiceStatus target);

  // How many times the status was derived since the object was made (tests count the polls).
  int derivations() const { return derivations_; }

 private:
  ServiceStatus DeriveNT();
  StartupType QueryStartupTypeNT();
  StartupType QueryStartupType95();
  int ApplyStartupType95();
  int SendControl(std::uint32_t control, ServiceStatus target);

  ServiceControllerEnvironment env_;
  ServiceHandle manager_ = 0;
  ServiceHandle service_ = 0;
  ServiceStatus status_ = STATUS_UNKNOWN;
  StartupType startupType_ = STARTUP_UNKNOWN;
  int derivations_ = 0;
};

}  // namespace tamrix
