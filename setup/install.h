#pragma once

#include "setup/setup_environment.h"

namespace tamrix {

// Each returns 1 when every step that matters succeeded, 0 when one ended the installation (its
// message has then been shown). Nothing done before a failure is undone.
int InstallNt(SetupEnvironment& env);
int InstallWin95(SetupEnvironment& env);
// The procedure of the machine's platform; after full success it leaves the maker key.
int Install(SetupEnvironment& env);

}  // namespace tamrix

namespace tamrix {

// Enters the Windows 95 service program in the boot-time start list, or takes it out; silent.
void SetRunServicesValue(SetupEnvironment& env, bool present);

}  // namespace tamrix
