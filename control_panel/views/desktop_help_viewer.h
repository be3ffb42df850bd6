#pragma once

#include "control_panel/help_viewer.h"

namespace tamrix {

// The help file in the desktop's browser.
class DesktopHelpViewer final : public HelpViewer {
 public:
  void ShowHelp(const std::string& path) override { Open(path); }
  // False when the desktop has no program to hand the page to.
  static bool Open(const std::string& path);
};

}  // namespace tamrix
