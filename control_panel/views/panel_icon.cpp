#include "control_panel/views/panel_icon.h"

namespace tamrix {

QIcon PanelIcon(bool isNT) {
  QIcon icon;
  if (isNT) icon.addFile(QStringLiteral(":/panel/135-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/panel/128-32.png"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/panel/128-48.png"), QSize(48, 48));
  return icon;
}

}  // namespace tamrix
