#pragma once

#include "setup/setup_environment.h"

namespace tamrix {

// The Install button: installs, reports the outcome and, after success, starts the installed
// control panel for the first settings. Returns Install's result.
int RunInstallation(SetupEnvironment& env);
// The Uninstall button: uninstalls and reports whether everything could be removed.
int RunUninstallation(SetupEnvironment& env);

}  // namespace tamrix
