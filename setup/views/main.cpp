// setup: installs the suite into the system directory's TAMRIX folder and removes it again.
// The distribution files are taken from the current directory.
#include <QApplication>
#include <string>
#include <string_view>

#include "platform/posix/detached_process.h"
#include "platform/qt/japanese_translations.h"
#include "setup/machine_setup.h"
#include "setup/setup_handlers.h"
#include "setup/views/setup_views.h"

int main(int argc, char** argv) {
  using namespace tamrix;
  MachineSetup machine;

  // "--install" and "--uninstall" exist only so that tests can run the procedures without a
  // display: no dialog, messages on standard error, no control panel started afterwards, and the
  // exit status 0 for success. The program the operator uses takes no arguments.
  const std::string_view mode = argc == 2 ? argv[1] : "";
  if (mode == "--install" || mode == "--uninstall") {
    SilentProgress progress;
    StderrMessages messages("setup");
    SetupEnvironment env = machine.Environment(progress, messages, nullptr);
    const int result = mode == "--install" ? RunInstallation(env) : RunUninstallation(env);
    return result == 1 ? 0 : 1;
  }

  QApplication app(argc, argv);
  InstallJapaneseQtTranslations(app);
  QApplication::setWindowIcon(SetupIcon());
  QtProgressSink progress;
  QtSetupMessages messages;
  const auto launch = DetachedProgramLauncher(machine.paths().root);
  SetupEnvironment env = machine.Environment(
      progress, messages, [&launch](const std::string& path) { launch(path); });
  SetupDialog dialog([&env] { RunInstallation(env); }, [&env] { RunUninstallation(env); });
  progress.SetParent(&dialog);
  messages.SetParent(&dialog);
  dialog.exec();
  return 0;
}
