#pragma once

#include "control_panel/views/settings_page.h"

namespace tamrix {

// The sheet's pages, in tab order; each is built from the settings when the sheet opens.
SettingsPage* MakeIpAddrView(SheetContext& context);
SettingsPage* MakeDurationView(SheetContext& context);
SettingsPage* MakeDnsView(SheetContext& context);
SettingsPage* MakeWinsView(SheetContext& context);
SettingsPage* MakeReserveView(SheetContext& context);
SettingsPage* MakeClientView(SheetContext& context);
SettingsPage* MakeOptionView(SheetContext& context);
SettingsPage* MakeMailNewsView(SheetContext& context);

}  // namespace tamrix
