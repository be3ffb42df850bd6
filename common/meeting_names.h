#pragma once

#include "common/version.h"

// The names the programs, setup and the control panel find one another by. Each is written here
// once: a slip in a second copy would break a stop, a close or an uninstallation that only the
// root-only integration tests would notice.
namespace tamrix::meeting {

// The NT service, as the service manager, the event log and the problem log know it.
inline constexpr char kNtServiceName[] = "TAMXNTs";
inline constexpr char kNtServiceDisplayName[] = "DHCP Service for ZAVO";
inline constexpr char kEventSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\TAMXNTs";

// The background process: its name in the boot-time start list and the problem log, and its
// window, through which the panel and setup close it.
inline constexpr char k95ServiceName[] = "TAMRIXs";
inline constexpr char k95WindowClass[] = "TAMRIXs_Class";
inline constexpr const char* k95WindowTitle = k95ServiceName;

// The control panel's main window: setup closes it, a second copy of the panel finds the first.
inline constexpr char kPanelWindowClass[] = "#32770";
inline constexpr char kPanelWindowTitle[] = "簡易DHCPｻｰﾋﾞｽ";

// The installation folder below the system directory, and the files in it.
inline constexpr char kInstallFolder[] = "TAMRIX";
inline constexpr char kNtServiceProgram[] = "TAMXNTs.exe";
inline constexpr char k95ServiceProgram[] = "TAMRIXs.exe";
inline constexpr char kPanelProgram[] = "TAMRIX.exe";
inline constexpr char kMessageFile[] = "TAMXEVT.dll";
inline constexpr char kHelpFile[] = "TAMRIX.hlp";
inline constexpr char kHelpContentsFile[] = "TAMRIX.cnt";

// The maker's mark an installation leaves in the registry.
inline constexpr char kMakerParentKey[] = "SOFTWARE\\VORMEL";
inline constexpr char kMakerKey[] = "SOFTWARE\\VORMEL\\TAMRIX";

}  // namespace tamrix::meeting
