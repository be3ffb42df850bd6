#pragma once

#include "common/version.h"

// The names the programs, setup and the control panel find one another by. Each is written here
// once: a slip in a second copy would break a stop, a close or an uninstallation that only the
// root-only integration tests would notice.
namespace tamrix::meeting {

// The NT service, as the service manager, the event log and the problem log know it.
#define TAMRIX_NT_SERVICE_NAME "TAMXNTs"
inline constexpr char kNtServiceName[] = TAMRIX_NT_SERVICE_NAME;
inline constexpr char kNtServiceDisplayName[] = "DHCP Service for ZAVO";
inline constexpr char kEventSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" TAMRIX_NT_SERVICE_NAME;

// The background process: its name in the boot-time start list and the problem log, and its
// window, through which the panel and setup close it.
inline constexpr char k95ServiceName[] = "TAMRIXs";
inline constexpr char k95WindowClass[] = "TAMRIXs_Class";
inline constexpr const char* k95WindowTitle = k95ServiceName;

// The control panel's main window: setup closes it, a second copy of the panel finds the first.
inline constexpr char kPanelWindowClass[] = "#32770";
inline constexpr char kPanelWindowTitle[] = "簡易DHCPｻｰﾋﾞｽ";

// The shared status block the servers publish and the panel reads: the block, its request and
// turn events, and the lock that keeps the readers' exchanges apart.
#define TAMRIX_STATUS_BLOCK "testmap"
inline constexpr char kStatusBlock[] = TAMRIX_STATUS_BLOCK;
inline constexpr char kStatusRequestEvent[] = "ev1";
inline constexpr char kStatusTurnEvent[] = "ev2";
inline constexpr char kStatusExchangeLock[] = TAMRIX_STATUS_BLOCK "-lock";

// The running server's endpoint in the run directory, through which the panel reads the pool's
// usage, the requests left unserved and the other servers heard, and asks for a reservation.
inline constexpr char kOperatorEndpoint[] = "operator";

// The installation folder below the system directory, and the files in it (named by the build).
inline constexpr char kInstallFolder[] = "TAMRIX";
inline constexpr char kNtServiceProgram[] = TAMRIX_NT_SERVICE_FILE;
inline constexpr char k95ServiceProgram[] = TAMRIX_95_SERVICE_FILE;
inline constexpr char kPanelProgram[] = TAMRIX_PANEL_FILE;
inline constexpr char kMessageFile[] = TAMRIX_MESSAGE_FILE;
inline constexpr char kHelpFile[] = TAMRIX_HELP_FILE;
inline constexpr char kHelpContentsFile[] = TAMRIX_HELP_CONTENTS_FILE;

// The maker's mark an installation leaves in the registry.
#define TAMRIX_MAKER_PARENT_KEY "SOFTWARE\\VORMEL"
inline constexpr char kMakerParentKey[] = TAMRIX_MAKER_PARENT_KEY;
inline constexpr char kMakerKey[] = TAMRIX_MAKER_PARENT_KEY "\\TAMRIX";

}  // namespace tamrix::meeting
