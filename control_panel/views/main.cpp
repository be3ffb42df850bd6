// TAMRIX.exe: the operator's control panel.
#include <QApplication>

#include "control_panel/lease_listing.h"
#include "control_panel/panel_machine.h"
#include "control_panel/panel_window.h"
#include "control_panel/views/help_window.h"
#include "control_panel/views/panel_endpoint.h"
#include "control_panel/views/panel_icon.h"
#include "control_panel/views/qt_message_boxes.h"
#include "control_panel/views/status_dialog.h"
#include "platform/qt/japanese_translations.h"

namespace tamrix {
namespace {

int RunPanel(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallJapaneseQtTranslations(app);
  // 1. The service controller decides NT or 95 and opens the service.
  PanelMachine machine(MachinePaths::FromEnvironment());
  // 2. Sockets need no start-up on this platform.
  // 3. One copy per machine: a running copy is brought to the front instead.
  if (ActivateRunningPanel(machine.windows)) return 0;
  // 4. Settings, start-up type and status.
  machine.LoadSettingsAndStatus();
  QApplication::setWindowIcon(PanelIcon(machine.service.IsNT()));
  // 5. The main window, until it closes.
  StatusBlockLeaseSource leases;
  QtMessageBoxes boxes;
  HelpWindowViewer help(boxes);
  CStatusDialog dialog({machine.service, leases, boxes, help, machine.files, machine.hosts,
                        machine.settings, *machine.profile, machine.paths.WindowsDirectory(),
                        machine.paths.SystemDirectory(), machine.operators});
  boxes.setParent(&dialog);
  help.setOwner(&dialog);  // the help goes with the main window
  PanelEndpoint endpoint(machine.windows, dialog);
  // Two copies started together: the one that did not get the window yields to the other.
  if (!endpoint.created()) return ActivateRunningPanel(machine.windows) ? 0 : 1;
  dialog.Run();
  return 0;
}

}  // namespace
}  // namespace tamrix

int main(int argc, char** argv) {
  return tamrix::RunPanel(argc, argv);
}
