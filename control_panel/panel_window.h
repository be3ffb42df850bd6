#pragma once

#include <functional>
#include <string_view>

#include "common/meeting_names.h"
#include "platform/window.h"

namespace tamrix {

// The main window as other programs find it: setup closes it before replacing files, and a
// second copy of the panel finds the first by it.
inline constexpr std::string_view kPanelWindowClass = meeting::kPanelWindowClass;
inline constexpr std::string_view kPanelWindowTitle = meeting::kPanelWindowTitle;

// What the main window does for messages from other programs.
struct PanelWindowActions {
  std::function<void()> close;       // WM_CLOSE
  std::function<void()> restore;     // WM_SYSCOMMAND / SC_RESTORE
  std::function<void()> foreground;  // WM_TAMRIX_FOREGROUND
};
WindowProcedure PanelWindowProcedure(PanelWindowActions actions);

// When a panel already runs on this machine, asks it to restore its window and come to the
// front, and answers true: this copy should then end.
bool ActivateRunningPanel(WindowSystem& windows);

}  // namespace tamrix
