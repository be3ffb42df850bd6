#include "control_panel/panel_machine.h"

#include "platform/os_version.h"
#include "platform/posix/detached_process.h"

namespace tamrix {

PanelMachine::PanelMachine(MachinePaths machinePaths)
    : paths(std::move(machinePaths)),
      registry(paths),
      manager(paths, registry),
      windows(paths),
      service({!IsWindows95(paths), manager, registry, windows, clock,
               DetachedProgramLauncher(paths.root), Windows95ServicePath(paths)}) {}

void PanelMachine::LoadSettingsAndStatus() {
  profile = OpenPrivateProfile(files, paths.WindowsDirectory(), kPanelProfileName);
  settings = LoadPanelSettings(*profile);
  service.QueryStartupType();
  service.QueryServiceStatusCode();
}

}  // namespace tamrix
