#pragma once

#include <memory>

#include "control_panel/operator_service.h"
#include "control_panel/panel_settings.h"
#include "control_panel/service_control.h"
#include "platform/machine_paths.h"
#include "platform/posix/file_registry.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_service_manager.h"
#include "platform/posix/posix_window_system.h"
#include "platform/posix/resolver_host_lookup.h"
#include "platform/posix/system_clock.h"
#include "platform/private_profile.h"

namespace tamrix {

// The machine's service controller, by its version word: the managed service on NT, the
// background program on Windows 95.
std::unique_ptr<ServiceControl> MakeServiceControl(const MachinePaths& paths,
                                                   ServiceManager& manager, Registry& registry,
                                                   WindowSystem& windows, Clock& clock);

// The running service's operator endpoint on this machine.
class EndpointOperatorService final : public OperatorService {
 public:
  int Fetch(OperatorReport& out) override;
  ReserveOutcome Reserve(std::uint32_t address, const ClientId& client,
                         std::string_view hostName) override;
  int Acknowledge(std::uint32_t serverIdentifier) override;
};

// The control panel's real pieces of this machine, built in start-up order: first the service
// controller (it decides NT or 95), then the settings file and its values. TAMRIX.exe and the
// end-to-end driver share it, so the driver runs exactly the program's wiring.
struct PanelMachine {
  explicit PanelMachine(MachinePaths machinePaths);
  PanelMachine(const PanelMachine&) = delete;
  PanelMachine& operator=(const PanelMachine&) = delete;

  // Reads the settings, the start-up type and the status, as the window needs them first.
  void LoadSettingsAndStatus();

  MachinePaths paths;
  FileRegistry registry;
  PosixServiceManager manager;
  PosixWindowSystem windows;
  SystemClock clock;
  std::unique_ptr<ServiceControl> serviceOwner;
  ServiceControl& service = *serviceOwner;  // what the window and the drivers are given
  PosixFileSystem files;
  ResolverHostLookup hosts;
  std::unique_ptr<PrivateProfile> profile;
  PanelSettings settings;
  EndpointOperatorService operators;
};

}  // namespace tamrix
