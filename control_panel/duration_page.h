#pragma once

#include <string>

#include "control_panel/panel_messages.h"
#include "control_panel/panel_settings.h"

namespace tamrix {

// CPropertyDuration: lease time and the grace extension, in days, hours and minutes.
struct DurationPage {
  bool limited = false;
  bool extend = false;
  std::string leaseDays, leaseHours, leaseMinutes;
  std::string extendDays, extendHours, extendMinutes;

  static DurationPage Build(const PanelSettings& settings);

  bool LeaseFieldsEnabled() const { return limited; }  // 1023-1025 and the check box 1031
  bool ExtendFieldsEnabled() const { return limited && extend; }  // 1026-1028

  // Radio and check box clicks; true when the click marks the sheet modified.
  bool ChooseUnlimited();
  bool ChooseLimited();
  bool SetExtend(bool on);

  PageCheck Validate() const;
  void Apply(PanelSettings& settings, PrivateProfile& profile);
};

}  // namespace tamrix
