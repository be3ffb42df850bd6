#include "control_panel/panel_window.h"

#include <utility>

namespace tamrix {

WindowProcedure PanelWindowProcedure(PanelWindowActions actions) {
  return [actions = std::move(actions)](const WindowMessage& m) -> std::int64_t {
    const std::function<void()>* action = nullptr;
    if (m.message == WM_CLOSE) action = &actions.close;
    if (m.message == WM_SYSCOMMAND && m.wParam == SC_RESTORE) action = &actions.restore;
    if (m.message == WM_TAMRIX_FOREGROUND) action = &actions.foreground;
    if (action != nullptr && *action) (*action)();
    return 0;
  };
}

bool ActivateRunningPanel(WindowSystem& windows) {
  const auto running = windows.FindWindow(kPanelWindowClass, kPanelWindowTitle);
  if (!running) return false;
  windows.SendMessage(*running, WM_SYSCOMMAND, SC_RESTORE);
  windows.SendMessage(*running, WM_TAMRIX_FOREGROUND);
  return true;
}

}  // namespace tamrix
