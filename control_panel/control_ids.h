#pragma once

#include "platform/dialog_ids.h"

namespace tamrix {

// The controls of the panel's dialogs and settings pages, by the ids tests and tools find them
// with (the main window's are in status_table.h).

// The settings sheet's own button beside OK and Cancel.
enum SettingsSheetControl : int {
  IDC_APPLY_NOW = 12321,
};

// ﾘｰｽ設定.
enum IpAddrPageControl : int {
  IDC_GATEWAY = 1013,
  IDC_START_ADDRESS = 1032,
  IDC_END_ADDRESS = 1033,
  IDC_SUBNET_MASK = 1034,
};

// ﾘｰｽ期限.
enum DurationPageControl : int {
  IDC_LEASE_DAYS = 1023,
  IDC_LEASE_HOURS = 1024,
  IDC_LEASE_MINUTES = 1025,
  IDC_EXTEND_DAYS = 1026,
  IDC_EXTEND_HOURS = 1027,
  IDC_EXTEND_MINUTES = 1028,
  IDC_EXTEND = 1031,
  IDC_LEASE_UNLIMITED = 1035,
  IDC_LEASE_LIMITED = 1036,
};

// DNS設定 and WINS設定.
enum ServerPairPageControl : int {
  IDC_DNS1 = 1010,
  IDC_DNS2 = 1011,
  IDC_DOMAIN_NAME = 1012,
  IDC_SCOPE_ID = 1014,
  IDC_DNS_OFF = 1018,
  IDC_DNS_ON = 1020,
  IDC_WINS_OFF = 1021,
  IDC_WINS_ON = 1022,
  IDC_WINS1 = 1037,
  IDC_WINS2 = 1038,
};

// ｱﾄﾞﾚｽ予約.
enum ReservePageControl : int {
  IDC_RESERVATIONS = 1040,
  IDC_RESERVE_CLIENT = 1042,
  IDC_RESERVE_HOST = 1043,
  IDC_RESERVE_ADDRESS = 1044,
  IDC_RESERVE = 1045,
  IDC_UNRESERVE = 1046,
  IDC_BROWSE = 1063,
  IDC_DISABLE = 1076,
};

// ｸﾗｲｱﾝﾄ限定.
enum ClientPageControl : int {
  IDC_ANY_CLIENT = 1096,
  IDC_LISTED_CLIENTS = 1098,
  IDC_CLIENT_ID = 1099,
  IDC_ADD_CLIENT = 1100,
  IDC_REMOVE_CLIENT = 1101,
  IDC_CLIENT_LIST = 1102,
  IDC_CLIENT_COMMENT = 1103,
};

// ｵﾌﾟｼｮﾝ.
enum OptionPageControl : int {
  IDC_NACK = 1066,
  IDC_PROBE = 1069,
  IDC_PROBE_WAIT = 1070,
  IDC_PROBE_TRIES = 1071,
  IDC_USE_LOG = 1080,
  IDC_BROADCAST_SERVER_ID = 1091,
  IDC_DHCPINFORM = 1108,
};

// ﾒｰﾙ&ﾆｭｰｽ.
enum MailNewsPageControl : int {
  IDC_SMTP = 1105,
  IDC_POP3 = 1106,
  IDC_NNTP = 1107,
};

// The lease detail dialog; its 削除 is the OK button.
enum LeaseDetailControl : int {
  IDC_RELEASE = IDOK,
  IDC_LEASE_ADDRESS = 1047,
  IDC_LEASE_CLIENT = 1048,
  IDC_LEASE_HOST = 1049,
  IDC_LEASE_STATE = 1050,
  IDC_LEASE_EXPIRY = 1051,
};

// The lease detail dialog's 予約: the shown lease becomes a reservation of the running service.
enum LeaseDetailReserveControl : int {
  IDC_RESERVE_LEASE = 1126,
};

// The operator's part of the main window, below the lease list and the service buttons.
enum OperatorControl : int {
  IDC_POOL_BAR = 1120,
  IDC_POOL_NUMBERS = 1121,
  IDC_POOL_WARNING = 1122,
  IDC_ROGUE_WARNING = 1123,
  IDC_ROGUE_ACKNOWLEDGE = 1124,
  IDC_SHOW_REFUSALS = 1125,
};

// The refusal window (dialog kRefusalDialog).
inline constexpr int kRefusalDialog = 140;
enum RefusalWindowControl : int {
  IDC_REFUSAL_COUNTS = 1127,
  IDC_REFUSAL_FILTER = 1128,
  IDC_REFUSAL_LIST = 1129,
  IDC_REFUSAL_ADVICE = 1130,
  IDC_REFUSAL_DUID = 1131,
};

// The start-up dialog.
enum StartupDialogControl : int {
  IDC_STARTUP_AUTOMATIC = 1052,
  IDC_STARTUP_MANUAL = 1053,
  IDC_STARTUP_DISABLED = 1055,
};

// The about box.
enum AboutDialogControl : int {
  IDC_PANEL_FILE = 1109,
  IDC_SERVICE_FILE = 1110,
  IDC_PANEL_VERSION = 1111,
  IDC_SERVICE_VERSION = 1112,
  IDC_ABOUT_HEADING = 1113,
};

}  // namespace tamrix
