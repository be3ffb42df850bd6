#include "control_panel/views/desktop_help_viewer.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>

#include "control_panel/views/page_widgets.h"

namespace tamrix {
namespace {

// The help is an HTML page under the name the system gives it, but desktops pick the program by
// the name's extension, and ".hlp" names no browser. A fresh copy under an ".html" name in the
// user's own cache does; the original is opened when no copy can be made.
QString BrowsableHelp(const QString& help) {
  const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  if (cache.isEmpty()) return help;
  const QString folder = cache + QStringLiteral("/tamrix");
  const QString copy = folder + QStringLiteral("/TAMRIX.html");
  if (!QDir().mkpath(folder)) return help;
  QFile::remove(copy);
  return QFile::copy(help, copy) ? copy : help;
}

}  // namespace

bool DesktopHelpViewer::Open(const std::string& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(BrowsableHelp(Qt8(path))));
}

}  // namespace tamrix
