#pragma once

#include <string>

#include "control_panel/panel_messages.h"
#include "control_panel/panel_settings.h"

namespace tamrix {

// CPropertyIPAddr: the pool range, subnet mask and gateway.
struct IpAddrPage {
  std::string start, end, mask, gateway;

  static IpAddrPage Build(const PanelSettings& settings);
  // First failure wins; a changed range of a stored pool asks 102 (cancel keeps the page).
  PageCheck Validate(const PanelSettings& settings) const;
  void Apply(PanelSettings& settings, PrivateProfile& profile) const;
};

}  // namespace tamrix
