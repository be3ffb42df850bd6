#include "control_panel/views/panel_endpoint.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QSocketNotifier>

#include "control_panel/panel_window.h"

namespace tamrix {
namespace {

// Closes the dialogs open above the main window first, innermost first, so that their loops
// end before the main one; bounded, in case a dialog refuses to close.
void CloseWithDialogs(QDialog& dialog) {
  for (int i = 0; i < 16; ++i) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == &dialog) break;
    if (auto* child = qobject_cast<QDialog*>(modal)) {
      child->reject();
    } else {
      modal->close();
    }
  }
  dialog.reject();
}

}  // namespace

PanelEndpoint::PanelEndpoint(WindowSystem& windows, QDialog& dialog) {
  QPointer<QDialog> target(&dialog);
  PanelWindowActions actions;
  actions.close = [target] {
    if (target) CloseWithDialogs(*target);
  };
  actions.restore = [target] {
    if (target) target->setWindowState(target->windowState() & ~Qt::WindowMinimized);
  };
  actions.foreground = [target] {
    if (!target) return;
    target->show();
    target->raise();
    target->activateWindow();
  };
  window_ = windows.CreateWindow(kPanelWindowClass, kPanelWindowTitle,
                                 PanelWindowProcedure(std::move(actions)));
  if (window_ == nullptr || window_->MessageFd() < 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(window_->MessageFd(), QSocketNotifier::Read);
  Window* window = window_.get();
  QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                   [window] { window->DispatchMessages(0); });
}

PanelEndpoint::~PanelEndpoint() {
  notifier_.reset();
  window_.reset();
}

}  // namespace tamrix
