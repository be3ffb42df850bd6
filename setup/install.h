#pragma once

#include "setup/setup_environment.h"

namespace tamrix {

// Each returns 1 when every step that matters succeeded, 0 when one ended the installation (its
// message has then been shown). Nothing done before a failure is undone.
int InstallNt(SetupEnvironment& env);
int InstallWin95(SetupEnvironment& env);
// The procedure of the machine's platform; after full success it leaves the maker key.
int Install(SetupEnvironment& env);

// For a package manager that has put the files into the installation directory itself: what
// Install does after its copies (the menu entry excepted, which the package brings). An earlier
// registration is replaced; keepStartType keeps the start-up type the operator chose for it,
// as an upgrade should, where a first installation starts automatically. 1 or 0 as above.
int RegisterInstalledFiles(SetupEnvironment& env, bool keepStartType);

// Enters the Windows 95 service program in the boot-time start list, or takes it out; silent.
void SetRunServicesValue(SetupEnvironment& env, bool present);
bool RunServicesValuePresent(SetupEnvironment& env);

}  // namespace tamrix
