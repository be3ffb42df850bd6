#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/service_manager.h"

namespace tamrix {

// Where boot-time programs are listed: every string value names one program to launch.
inline constexpr const char* kRunServicesKeyPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";

// Starts one program detached; 0 or an error code.
using ProgramLauncher = std::function<int(const std::string& path)>;

struct BootOutcome {
  std::vector<std::string> startedServices;
  std::vector<std::string> launchedPrograms;
  // One line per failure: what it was and the error code.
  std::vector<std::string> failures;
};

// What the machine does at boot: starts every registered service whose start type is automatic
// (2), in registry order, and launches every program named by a string value under
// HKEY_LOCAL_MACHINE\<kRunServicesKeyPath>. A failure is recorded and the rest still start.
BootOutcome StartBootServices(Registry& registry, ServiceManager& manager,
                              const ProgramLauncher& launch);

// What the machine does at shutdown: sends the shutdown control to every running service that
// accepts it. Returns the number of services that were sent it.
int ShutdownServices(Registry& registry, ServiceManager& manager);

}  // namespace tamrix
