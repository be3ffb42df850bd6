#include "control_panel/views/settings_page.h"

namespace tamrix {

SettingsPage::SettingsPage(SheetContext& context, const char* dialogId) : context_(context) {
  setObjectName(QString::fromLatin1(dialogId));
}

}  // namespace tamrix
