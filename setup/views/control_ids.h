#pragma once

#include "platform/dialog_ids.h"

namespace tamrix {

// Setup's controls by the ids tests and tools find them with; Close is the Cancel button.
enum SetupControl : int {
  IDC_INSTALL = 1000,
  IDC_UNINSTALL = 1001,
  IDC_PROGRESS_BAR = 1002,
  IDC_PROGRESS_TEXT = 1003,
};

}  // namespace tamrix
