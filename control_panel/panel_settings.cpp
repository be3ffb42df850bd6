#include "control_panel/panel_settings.h"

#include <string>

#include "platform/private_profile.h"

namespace tamrix {

PanelSettings LoadPanelSettings(PrivateProfile& profile) {
  PanelSettings s;
  for (const SettingKey& key : kSettingKeys) {
    if (key.panelText != nullptr) {
      s.*key.panelText = profile.GetString(kPanelSection, key.name, "");
    } else if (key.panelNumber != nullptr) {
      s.*key.panelNumber = profile.GetInt(kPanelSection, key.name, key.defaultNumber);
    }
  }
  return s;
}

void StorePanelSettings(PrivateProfile& profile, const PanelSettings& s, int group) {
  for (const SettingKey& key : kSettingKeys) {
    if (key.panelGroup != group) continue;
    if (key.panelText != nullptr) {
      profile.WriteString(kPanelSection, key.name, s.*key.panelText);
    } else if (key.panelNumber != nullptr) {
      profile.WriteString(kPanelSection, key.name, std::to_string(s.*key.panelNumber));
    }
  }
}

void StorePanelSettings(PrivateProfile& profile, const PanelSettings& settings) {
  for (int group = GROUP_RANGE; group <= GROUP_OPTION; ++group) {
    StorePanelSettings(profile, settings, group);
  }
}

}  // namespace tamrix
