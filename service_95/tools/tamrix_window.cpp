// tamrix-window: looks for a window of this machine, or closes it the way the control panel and
// setup do (WM_CLOSE, returning once the owner has handled it).
//
//   tamrix-window find  [CLASS TITLE]   exit 0 when the window exists
//   tamrix-window close [CLASS TITLE]   exit 0 when the owner answered the close
// Without CLASS and TITLE the background server's window is meant.
#include <cstdio>
#include <string_view>

#include "common/meeting_names.h"
#include "platform/machine_paths.h"
#include "platform/posix/posix_window_system.h"

namespace {
// The owner writes the lease database before it answers; that never takes a minute.
constexpr int kCloseWaitMs = 60000;
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fputs("usage: tamrix-window find|close [CLASS TITLE]\n", stderr);
    return 2;
  }
  const std::string_view command = argv[1];
  const std::string_view className = argc == 4 ? argv[2] : tamrix::meeting::k95WindowClass;
  const std::string_view title = argc == 4 ? argv[3] : tamrix::meeting::k95WindowTitle;
  tamrix::PosixWindowSystem windows(tamrix::MachinePaths::FromEnvironment());
  const auto window = windows.FindWindow(className, title);
  if (command == "find") return window ? 0 : 1;
  if (command != "close") return 2;
  if (!window) {
    std::fputs("tamrix-window: no such window\n", stderr);
    return 1;
  }
  return windows.SendMessage(*window, tamrix::WM_CLOSE, 0, 0, kCloseWaitMs) ? 0 : 1;
}
