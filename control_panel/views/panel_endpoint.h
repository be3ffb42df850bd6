#pragma once

#include <memory>

#include "platform/window.h"

class QDialog;
class QSocketNotifier;

namespace tamrix {

// The main window as other programs reach it: setup's WM_CLOSE closes it (and any dialog it has
// open), a second copy's restore and foreground requests bring it back to the front. Messages are
// taken in by the Qt event loop.
class PanelEndpoint {
 public:
  PanelEndpoint(WindowSystem& windows, QDialog& dialog);
  ~PanelEndpoint();
  // False when the window could not be made, e.g. because another copy made it first.
  bool created() const { return window_ != nullptr; }

 private:
  std::unique_ptr<Window> window_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tamrix
