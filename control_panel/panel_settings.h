#pragma once

#include "storage/server_settings.h"
#include "storage/settings_keys.h"

namespace tamrix {

class PrivateProfile;

inline constexpr const char* kPanelSection = kSettingsSection;  // the section the service reads
inline constexpr const char* kPanelProfileName = "TAMRIX.INI";

PanelSettings LoadPanelSettings(PrivateProfile& profile);
// Writes one group's keys, in their order.
void StorePanelSettings(PrivateProfile& profile, const PanelSettings& settings, int group);
// Writes all seven groups in order.
void StorePanelSettings(PrivateProfile& profile, const PanelSettings& settings);

}  // namespace tamrix
