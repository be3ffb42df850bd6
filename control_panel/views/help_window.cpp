#include "control_panel/views/help_window.h"

#include <QFile>
#include <QTextBrowser>
#include <QUrl>

#include "control_panel/message_boxes.h"
#include "control_panel/views/desktop_help_viewer.h"
#include "control_panel/views/page_widgets.h"

namespace tamrix {
namespace {

// Not one of the string table's messages, so it has no number of its own.
constexpr int kHelpUnavailable = 0;

}  // namespace

HelpWindowViewer::~HelpWindowViewer() {
  delete window_;
}

QTextBrowser* HelpWindowViewer::window() const {
  return window_;
}

void HelpWindowViewer::ShowHelp(const std::string& path) {
  const QString file = Qt8(path);
  if (OpenWindow(file)) return;
  if (QFile::exists(file) && DesktopHelpViewer::Open(path)) return;
  boxes_.ShowMessage(kHelpUnavailable, "ﾍﾙﾌﾟﾌｧｲﾙを開けません\n" + path);
}

bool HelpWindowViewer::OpenWindow(const QString& file) {
  if (window_ != nullptr) {
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
    return true;
  }
  if (QFile readable(file); !readable.open(QIODevice::ReadOnly)) return false;
  // A window of its own, yet the owner's child: the main window runs modal, and would block any
  // window that is not its own.
  window_ = new QTextBrowser(owner_);
  window_->setWindowFlags(Qt::Window);
  window_->setAttribute(Qt::WA_DeleteOnClose);
  window_->setObjectName(QStringLiteral("help"));
  window_->setFrameShape(QFrame::NoFrame);
  window_->setOpenExternalLinks(true);
  window_->setSource(QUrl::fromLocalFile(file), QTextDocument::HtmlResource);
  const QString title = window_->documentTitle();
  window_->setWindowTitle(title.isEmpty() ? Qt8("TAMRIX ﾍﾙﾌﾟ") : title);
  window_->resize(720, 600);
  window_->show();
  window_->activateWindow();
  return true;
}

}  // namespace tamrix
