#include "control_panel/background_program_controller.h"

#include <utility>

namespace tamrix {

std::string BackgroundProgramPath(const MachinePaths& paths) {
  return JoinPath(paths.InstallDirectory(), meeting::k95ServiceProgram);
}

BackgroundProgramController::BackgroundProgramController(Registry& registry,
                                                         WindowSystem& windows, Clock& clock,
                                                         ProgramLauncher launch,
                                                         std::string programPath)
    : PolledServiceControl(clock),
      registry_(registry),
      windows_(windows),
      launch_(std::move(launch)),
      programPath_(std::move(programPath)) {}

std::optional<WindowHandle> BackgroundProgramController::ProgramWindow() {
  return windows_.FindWindow(meeting::k95WindowClass, meeting::k95WindowTitle);
}

ServiceStatus BackgroundProgramController::DeriveStatus() {
  return ProgramWindow() ? STATUS_RUNNING : STATUS_STOPPED;
}

StartupType BackgroundProgramController::ReadStartupType() {
  ScopedRegistryKey key(registry_);
  if (registry_.OpenKey(HKEY_LOCAL_MACHINE, kRunServicesKeyPath, KEY_READ, key.out()) !=
      ERROR_SUCCESS) {
    return STARTUP_MANUAL;
  }
  RegistryValue value;
  if (registry_.QueryValue(key.get(), kRunServicesValueName, &value, kRunServicesValueCapacity) !=
      ERROR_SUCCESS) {
    return STARTUP_MANUAL;  // absent, or too long to be a path the boot would launch
  }
  // The boot launches either string type, so both mean automatic here.
  return value.type == REG_SZ || value.type == REG_EXPAND_SZ ? STARTUP_AUTOMATIC : STARTUP_UNKNOWN;
}

int BackgroundProgramController::ApplyStartupType() {
  if (startupType() != STARTUP_AUTOMATIC && startupType() != STARTUP_MANUAL) return -1;
  ScopedRegistryKey key(registry_);
  // Created lasting when missing: a volatile key would lose the value at the very boot it is
  // meant for.
  if (registry_.CreateKey(HKEY_LOCAL_MACHINE, kRunServicesKeyPath, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, key.out()) != ERROR_SUCCESS) {
    return -1;
  }
  if (startupType() == STARTUP_AUTOMATIC) {
    return registry_.SetValue(key.get(), kRunServicesValueName, REG_SZ,
                              RegistryStringData(programPath_));
  }
  return registry_.DeleteValue(key.get(), kRunServicesValueName);
}

int BackgroundProgramController::StartTheService() {
  if (launch_(programPath_) != 0) return 0;
  clock().SleepMilliseconds(kProgramStartSettleMs);
  return WaitForStatus(STATUS_RUNNING);
}

int BackgroundProgramController::StopTheService() {
  if (const auto window = ProgramWindow()) {
    windows_.SendMessage(*window, WM_CLOSE);
  }
  clock().SleepMilliseconds(kProgramStopSettleMs);
  return WaitForStatus(STATUS_STOPPED);
}

}  // namespace tamrix
