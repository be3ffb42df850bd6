// Opens the settings sheet on the machine TAMRIX_SYSROOT names, for trying the pages by hand.
#include <QApplication>
#include <cstdio>

#include "control_panel/panel_settings.h"
#include "control_panel/views/qt_message_boxes.h"
#include "control_panel/views/settings_sheet.h"
#include "platform/machine_paths.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/resolver_host_lookup.h"
#include "platform/private_profile.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const tamrix::MachinePaths paths = tamrix::MachinePaths::FromEnvironment();
  tamrix::PosixFileSystem files;
  tamrix::ResolverHostLookup hosts;
  tamrix::QtMessageBoxes boxes;
  const auto profile =
      tamrix::OpenPrivateProfile(files, paths.WindowsDirectory(), tamrix::kPanelProfileName);
  tamrix::PanelSettings settings = tamrix::LoadPanelSettings(*profile);
  tamrix::SettingsSheet sheet(
      {settings, *profile, files, hosts, boxes, paths.WindowsDirectory()});
  boxes.setParent(&sheet);
  const int result = sheet.exec();
  std::printf("%s\n", result == QDialog::Accepted ? "OK" : "cancel");
  return 0;
}
