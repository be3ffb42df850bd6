// setup: installs the suite into the system directory's TAMRIX folder and removes it again.
// The distribution files are taken from the current directory.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "platform/machine_paths.h"
#include "platform/os_version.h"
#include "platform/posix/desktop_shortcuts.h"
#include "platform/posix/detached_process.h"
#include "platform/posix/file_registry.h"
#include "platform/posix/operator_access.h"
#include "platform/posix/posix_file_operations.h"
#include "platform/posix/posix_service_manager.h"
#include "platform/posix/posix_window_system.h"
#include "platform/posix/system_clock.h"
#include "setup/setup_handlers.h"
#include "setup/views/setup_views.h"

namespace {

using namespace tamrix;

// Test-only stand-ins for the dialogs, used by the end-to-end test with --install/--uninstall.
class SilentProgress final : public ProgressSink {
 public:
  void Open(std::string_view) override {}
  void SetPosition(int) override {}
  void SetText(std::string_view) override {}
  void Close() override {}
};

class StderrMessages final : public SetupMessages {
 public:
  void Show(std::string_view text, int) override {
    std::fprintf(stderr, "setup: %.*s\n", static_cast<int>(text.size()), text.data());
  }
};

}  // namespace

int main(int argc, char** argv) {
  const MachinePaths paths = MachinePaths::FromEnvironment();
  PosixFileOperations files;
  FileRegistry registry(paths);
  PosixServiceManager services(paths, registry);
  PosixWindowSystem windows(paths);
  DesktopShortcuts shortcuts(paths, UserDataHome());
  SystemClock clock;
  const auto launch = DetachedProgramLauncher(paths.root);
  const auto environment = [&](ProgressSink& progress, SetupMessages& messages,
                               std::function<void(const std::string&)> startProgram) {
    return SetupEnvironment{files,
                            registry,
                            services,
                            windows,
                            shortcuts,
                            progress,
                            messages,
                            clock,
                            paths.SystemDirectory(),
                            paths.WindowsDirectory(),
                            IsWindows95(paths),
                            std::move(startProgram),
                            [paths](const std::string& serverProgram) {
                              const bool group = EnsureOperatorGroup();
                              const bool folder = MakeOperatorFolder(paths.WindowsDirectory());
                              return LetProgramServe(serverProgram) && group && folder;
                            }};
  };

  // "--install" and "--uninstall" exist only so that tests can run the procedures without a
  // display: no dialog, messages on standard error, no control panel started afterwards, and the
  // exit status 0 for success. The program the operator uses takes no arguments.
  const std::string_view mode = argc == 2 ? argv[1] : "";
  if (mode == "--install" || mode == "--uninstall") {
    SilentProgress progress;
    StderrMessages messages;
    SetupEnvironment env = environment(progress, messages, nullptr);
    const int result = mode == "--install" ? RunInstallation(env) : RunUninstallation(env);
    return result == 1 ? 0 : 1;
  }

  QApplication app(argc, argv);
  QtProgressSink progress;
  QtSetupMessages messages;
  SetupEnvironment env =
      environment(progress, messages, [&launch](const std::string& path) { launch(path); });
  SetupDialog dialog([&env] { RunInstallation(env); }, [&env] { RunUninstallation(env); });
  progress.SetParent(&dialog);
  messages.SetParent(&dialog);
  dialog.exec();
  return 0;
}
