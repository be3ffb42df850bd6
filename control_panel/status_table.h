#pragma once

#include <string_view>

#include "control_panel/service_control.h"

namespace tamrix {

// The main window's controls, by the ids tests and tools find them with.
enum StatusDialogControl : int {
  IDC_CLOSE = 1,
  IDC_LEASE_LIST = 1000,
  IDC_REFRESH = 1001,
  IDC_DETAIL = 1002,
  IDC_SETTINGS = 1003,
  IDC_START = 1005,
  IDC_PAUSE = 1006,
  IDC_CONTINUE = 1007,
  IDC_STOP = 1008,
  IDC_STARTUP = 1009,
  IDC_STATUS_TEXT = 1057,
  IDC_HELP = 57670,
};

// What the window shows for one service status: the status text, which service buttons may be
// pressed and which one is the default (0: none).
struct StatusView {
  std::string_view text;
  bool start = false;
  bool stop = false;
  bool pause = false;
  bool resume = false;  // 続行
  bool settings = false;
  int defaultButton = 0;

  bool operator==(const StatusView&) const = default;
};

// Pause and continue are never offered on a 95 host, which cannot suspend its service. When the
// paused state's 続行 is not offered, 停止 stays the default, as a disabled button cannot be.
StatusView StatusTable(ServiceStatus status, bool isNT);

// The start-up dialog's OK: the checked type (STARTUP_UNKNOWN when none is) is stored and
// applied; applying STARTUP_UNKNOWN fails and changes nothing.
int ChooseStartupType(ServiceControl& service, StartupType checked);

}  // namespace tamrix
