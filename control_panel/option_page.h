#pragma once

#include <string>

#include "control_panel/panel_messages.h"
#include "control_panel/panel_settings.h"

namespace tamrix {

// CPropertyOption: the service switches and the conflict probe's wait and tries.
struct OptionPage {
  bool srvAddr = false, nack = false, usePing = false, useLog = false, dhcpInform = false;
  std::string pingWait, pingTry;  // digits only

  static OptionPage Build(const PanelSettings& settings);
  bool PingFieldsEnabled() const { return usePing; }
  // The conflict-detection switch. Turning it on fills an empty wait or tries field with the
  // service's default, so that a plain switch-on passes the check; typed values stay.
  void SetUsePing(bool on);
  // Checked only with conflict detection on: empty wait 136, empty tries 135, a zero or
  // oversized wait 137, zero or oversized tries 133, then 134 asked when tries x wait passes 3 s.
  PageCheck Validate() const;
  void Apply(PanelSettings& settings, PrivateProfile& profile) const;
};

}  // namespace tamrix
