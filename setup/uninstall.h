#pragma once

#include "setup/setup_environment.h"

namespace tamrix {

// Each tries every step whatever fails and returns 1 when the program files that matter and the
// installation directory are gone, 0 otherwise. No message is shown.
int UninstallNt(SetupEnvironment& env);
int UninstallWin95(SetupEnvironment& env);
// The procedure of the machine's platform, then the maker keys, whatever its result.
int Uninstall(SetupEnvironment& env);

// For a package manager that removes the files itself: closes the control panel, stops and
// unregisters the service or the background process, and keeps every file. 1 when no server is
// left running or registered, 0 (after the message to stop the service) otherwise.
int UnregisterInstallation(SetupEnvironment& env);

}  // namespace tamrix
