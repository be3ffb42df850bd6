#include "setup/setup_handlers.h"

#include "setup/install.h"
#include "setup/setup_routines.h"
#include "setup/setup_texts.h"
#include "setup/uninstall.h"

namespace tamrix {

int RunInstallation(SetupEnvironment& env) {
  const int result = Install(env);
  if (result == 0) {
    env.messages.Show(setup_text::kString103, MB_ICONEXCLAMATION);
    return result;
  }
  env.messages.Show(setup_text::kString102, MB_ICONINFORMATION);
  if (env.startProgram) env.startProgram(InstalledFilePath(env, setup_text::kPanelProgram));
  return result;
}

int RunUninstallation(SetupEnvironment& env) {
  const int result = Uninstall(env);
  if (result != 0) {
    env.messages.Show(setup_text::kString104, MB_ICONINFORMATION);
  } else {
    env.messages.Show(setup_text::kString105, MB_ICONEXCLAMATION);
  }
  return result;
}

}  // namespace tamrix
