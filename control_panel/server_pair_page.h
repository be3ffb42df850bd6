#pragma once

#include <string>

#include "control_panel/panel_messages.h"
#include "control_panel/panel_settings.h"

namespace tamrix {

// The refusals of one server-pair page.
struct ServerPairMessages {
  int primaryEmpty, primaryInvalid, secondaryInvalid, secondarySame;
};
inline constexpr ServerPairMessages kDnsMessages{MSG_DNS1_EMPTY, MSG_DNS1_INVALID,
                                                 MSG_DNS2_INVALID, MSG_DNS2_SAME};
inline constexpr ServerPairMessages kWinsMessages{MSG_WINS1_EMPTY, MSG_WINS1_INVALID,
                                                  MSG_WINS2_INVALID, MSG_WINS2_SAME};

// CPropertyDNS and CPropertyWINS: a use switch, a primary and secondary server and one free text
// (the domain name or the NetBIOS scope).
struct ServerPairPage {
  bool use = false;
  std::string primary, secondary, extra;

  static ServerPairPage BuildDns(const PanelSettings& settings);
  static ServerPairPage BuildWins(const PanelSettings& settings);

  bool FieldsEnabled() const { return use; }
  // A radio click; true when it changed the switch (and so marks the sheet modified).
  bool SetUse(bool on);

  PageCheck Validate(const ServerPairMessages& messages) const;
  void ApplyDns(PanelSettings& settings, PrivateProfile& profile) const;
  void ApplyWins(PanelSettings& settings, PrivateProfile& profile) const;
};

}  // namespace tamrix
