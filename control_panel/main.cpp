// TAMRIX.exe: the operator's control panel.
#include <QApplication>

#include "control_panel/lease_listing.h"
#include "control_panel/panel_settings.h"
#include "control_panel/panel_window.h"
#include "control_panel/service_controller.h"
#include "control_panel/views/desktop_help_viewer.h"
#include "control_panel/views/panel_endpoint.h"
#include "control_panel/views/qt_message_boxes.h"
#include "control_panel/views/status_dialog.h"
#include "platform/machine_paths.h"
#include "platform/os_version.h"
#include "platform/posix/detached_process.h"
#include "platform/posix/file_registry.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_service_manager.h"
#include "platform/posix/posix_window_system.h"
#include "platform/posix/resolver_host_lookup.h"
#include "platform/posix/system_clock.h"
#include "platform/private_profile.h"

namespace tamrix {
namespace {

int RunPanel(int argc, char** argv) {
  QApplication app(argc, argv);
  const MachinePaths paths = MachinePaths::FromEnvironment();

  // 1. The service controller decides NT or 95 and opens the service.
  FileRegistry registry(paths);
  PosixServiceManager manager(paths, registry);
  PosixWindowSystem windows(paths);
  SystemClock clock;
  ServiceController service({!IsWindows95(paths), manager, registry, windows, clock,
                             DetachedProgramLauncher(paths.root), Windows95ServicePath(paths)});
  // 2. Sockets need no start-up on this platform.
  // 3. One copy per machine: a running copy is brought to the front instead.
  if (ActivateRunningPanel(windows)) return 0;
  // 4. Settings, start-up type and status.
  PosixFileSystem files;
  ResolverHostLookup hosts;
  const auto profile = OpenPrivateProfile(files, paths.WindowsDirectory(), kPanelProfileName);
  PanelSettings settings = LoadPanelSettings(*profile);
  service.QueryStartupType();
  service.QueryServiceStatusCode();
  // 5. The main window, until it closes.
  StatusBlockLeaseSource leases;
  QtMessageBoxes boxes;
  DesktopHelpViewer help;
  CStatusDialog dialog({service, leases, boxes, help, files, hosts, settings, *profile,
                        paths.WindowsDirectory(), paths.SystemDirectory()});
  boxes.setParent(&dialog);
  PanelEndpoint endpoint(windows, dialog);
  // Two copies started together: the one that did not get the window yields to the other.
  if (!endpoint.created()) return ActivateRunningPanel(windows) ? 0 : 1;
  dialog.Run();
  return 0;
}

}  // namespace
}  // namespace tamrix

int main(int argc, char** argv) {
  return tamrix::RunPanel(argc, argv);
}
