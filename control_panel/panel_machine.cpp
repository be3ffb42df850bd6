#include "control_panel/panel_machine.h"

#include "control_panel/background_program_controller.h"
#include "control_panel/nt_service_controller.h"
#include "platform/os_version.h"
#include "platform/posix/detached_process.h"
#include "status/operator_client.h"

namespace tamrix {

std::unique_ptr<ServiceControl> MakeServiceControl(const MachinePaths& paths,
                                                   ServiceManager& manager, Registry& registry,
                                                   WindowSystem& windows, Clock& clock) {
  if (!IsWindows95(paths)) return std::make_unique<NtServiceController>(manager, clock);
  return std::make_unique<BackgroundProgramController>(
      registry, windows, clock, DetachedProgramLauncher(paths.root), BackgroundProgramPath(paths));
}

PanelMachine::PanelMachine(MachinePaths machinePaths)
    : paths(std::move(machinePaths)),
      registry(paths),
      manager(paths, registry),
      windows(paths),
      serviceOwner(MakeServiceControl(paths, manager, registry, windows, clock)) {}

int EndpointOperatorService::Fetch(OperatorReport& out) {
  return FetchOperatorReport(out);
}

ReserveOutcome EndpointOperatorService::Reserve(std::uint32_t address, const ClientId& client,
                                                std::string_view hostName) {
  return RequestReservation(address, client, hostName);
}

int EndpointOperatorService::Acknowledge(std::uint32_t serverIdentifier) {
  return AcknowledgeRogueServer(serverIdentifier);
}

void PanelMachine::LoadSettingsAndStatus() {
  profile = OpenPrivateProfile(files, paths.WindowsDirectory(), kPanelProfileName);
  settings = LoadPanelSettings(*profile);
  service.QueryStartupType();
  service.QueryServiceStatusCode();
}

}  // namespace tamrix
