#include "control_panel/views/desktop_help_viewer.h"

#include <QDesktopServices>
#include <QUrl>

#include "control_panel/views/page_widgets.h"

namespace tamrix {

void DesktopHelpViewer::ShowHelp(const std::string& path) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(Qt8(path)));
}

}  // namespace tamrix
