#pragma once

#include <QDialog>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control_panel/help_viewer.h"
#include "control_panel/panel_settings.h"
#include "control_panel/views/settings_sheet.h"
#include "control_panel/views/status_dialog.h"
#include "platform/machine_paths.h"
#include "platform/posix/posix_file_system.h"
#include "platform/private_profile.h"
#include "tests/control_panel/fake_lease_source.h"
#include "tests/control_panel/fake_operator_service.h"
#include "tests/control_panel/fake_service_control.h"
#include "tests/control_panel/recording_message_boxes.h"
#include "tests/fakes/fake_host_lookup.h"

namespace tamrix::testing {

class RecordingHelp final : public HelpViewer {
 public:
  void ShowHelp(const std::string& path) override { opened.push_back(path); }
  std::vector<std::string> opened;
};

inline constexpr char kPool[] =
    "[TAMRIX]\r\nStartIPAddr=192.168.0.1\r\nEndIPAddr=192.168.0.50\r\nSubnetMask=255.255.255.0\r\n";

// One entry of each state in 192.168.0.1-6; the main window lists those held for a client
// (.2, .4, .5 and .6).
inline std::vector<LeaseEntry> SampleLeases() {
  const Seconds soon = static_cast<Seconds>(std::time(nullptr)) + 3600;
  return {
      MakeLease(LEASE_FREE, 0xC0A80001, 0, "", 0),
      MakeLease(LEASE_BOUND, 0xC0A80002, 2, "taro", soon),
      MakeLease(LEASE_RESERVED, 0xC0A80003, 0, "<disabled>", 0),
      MakeLease(LEASE_OFFERED, 0xC0A80004, 4, "hanako", soon),
      MakeLease(LEASE_RESERVED, 0xC0A80005, 5, "printer", 0),
      MakeLease(LEASE_GRACE, 0xC0A80006, 6, "jiro", soon),
  };
}

// The panel's windows on a machine of their own under root, which goes with the rig, with a
// fake service, lease table, name lookup and message boxes.
class PanelRig {
 public:
  explicit PanelRig(std::string root) {
    paths.root = std::move(root);
    std::filesystem::create_directories(paths.WindowsDirectory());
    std::filesystem::create_directories(paths.RunDirectory());
    profile = OpenPrivateProfile(files, paths.WindowsDirectory(), "TAMRIX.INI");
    operators.leases = &leases.table;
  }
  ~PanelRig() {
    dialog.reset();
    sheet.reset();
    owner.reset();
    std::filesystem::remove_all(paths.root);
  }
  PanelRig(const PanelRig&) = delete;
  PanelRig& operator=(const PanelRig&) = delete;

  void WriteFile(const std::string& name, const std::string& bytes) {
    files.ReplaceFile(JoinPath(paths.WindowsDirectory(), name), bytes);
  }
  std::string ReadFile(const std::string& name) {
    return files.ReadFile(JoinPath(paths.WindowsDirectory(), name)).value_or("<missing>");
  }
  void WriteSettings(const std::string& bytes) { WriteFile("TAMRIX.INI", bytes); }

  // As the program starts: settings, start-up type and status, then the window.
  void OpenMainWindow(bool initialize = true) {
    settings = LoadPanelSettings(*profile);
    service.QueryStartupType();
    service.QueryServiceStatusCode();
    dialog = std::make_unique<CStatusDialog>(
        StatusDialogContext{service, leases, boxes, *helpInUse, files, hosts, settings, *profile,
                            paths.WindowsDirectory(), paths.SystemDirectory(), operators});
    dialog->show();
    if (initialize) dialog->Initialize();
  }
  void OpenSheet(QWidget* parent = nullptr) {
    settings = LoadPanelSettings(*profile);
    sheet = std::make_unique<SettingsSheet>(
        SheetContext{settings, *profile, files, hosts, boxes, paths.WindowsDirectory()}, parent);
    sheet->show();
  }

  MachinePaths paths;
  PosixFileSystem files;
  FakeHostLookup hosts;
  RecordingMessageBoxes boxes;
  FakeServiceControl service;
  FakeLeaseSource leases;
  FakeOperatorService operators;
  RecordingHelp help;
  HelpViewer* helpInUse = &help;
  std::unique_ptr<PrivateProfile> profile;
  PanelSettings settings;
  std::unique_ptr<QDialog> owner;  // outlives its child sheet
  std::unique_ptr<SettingsSheet> sheet;
  std::unique_ptr<CStatusDialog> dialog;
};

}  // namespace tamrix::testing
