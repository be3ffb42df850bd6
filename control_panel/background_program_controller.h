#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "common/meeting_names.h"
#include "control_panel/polled_service_control.h"
#include "platform/boot_services.h"
#include "platform/clock.h"
#include "platform/machine_paths.h"
#include "platform/registry.h"
#include "platform/window.h"

namespace tamrix {

inline constexpr const char* kRunServicesValueName = meeting::k95ServiceName;

// Pauses after launching the background program and after asking its window to close.
inline constexpr int kProgramStartSettleMs = 2000;
inline constexpr int kProgramStopSettleMs = 1000;
// The RunServices value is read into a buffer of this many bytes.
inline constexpr std::size_t kRunServicesValueCapacity = 256;

// The installation directory's TAMRIXs.exe: what the control panel launches and what the
// RunServices value names.
std::string BackgroundProgramPath(const MachinePaths& paths);

// The panel's handle on the background program TAMRIXs.exe where there is no service manager:
// running while its window exists, started detached, started at boot through the RunServices
// value. It cannot pause.
class BackgroundProgramController final : public PolledServiceControl {
 public:
  BackgroundProgramController(Registry& registry, WindowSystem& windows, Clock& clock,
                              ProgramLauncher launch, std::string programPath);

  bool IsNT() const override { return false; }

  int ApplyStartupType() override;
  int StartTheService() override;
  int StopTheService() override;
  int PauseTheService() override { return 0; }
  int ContinueTheService() override { return 0; }

 private:
  std::optional<WindowHandle> ProgramWindow();
  ServiceStatus DeriveStatus() override;
  StartupType ReadStartupType() override;

  Registry& registry_;
  WindowSystem& windows_;
  ProgramLauncher launch_;
  std::string programPath_;
};

}  // namespace tamrix
