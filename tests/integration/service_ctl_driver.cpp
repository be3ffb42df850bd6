// tamrix-service-ctl: drives the service of the machine at TAMRIX_SYSROOT through the control
// panel's controller for the machine's host, as the panel's buttons do, for the integration tests.
//   tamrix-service-ctl status|start|stop|pause|continue
//   tamrix-service-ctl startup [automatic|manual|disabled]
// Prints the operation's result (if any) and then the status or start-up type it reads after.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "control_panel/panel_machine.h"
#include "platform/machine_paths.h"
#include "platform/posix/file_registry.h"
#include "platform/posix/posix_service_manager.h"
#include "platform/posix/posix_window_system.h"
#include "platform/posix/system_clock.h"

namespace {

using namespace tamrix;

const char* StatusWord(ServiceStatus status) {
  switch (status) {
    case STATUS_STOPPED:
      return "stopped";
    case STATUS_RUNNING:
      return "running";
    case STATUS_PAUSED:
      return "paused";
    default:
      return "unknown";
  }
}

const char* StartupWord(StartupType type) {
  switch (type) {
    case STARTUP_AUTOMATIC:
      return "automatic";
    case STARTUP_MANUAL:
      return "manual";
    case STARTUP_DISABLED:
      return "disabled";
    default:
      return "unknown";
  }
}

int Usage() {
  std::fprintf(stderr,
               "usage: tamrix-service-ctl status|start|stop|pause|continue\n"
               "       tamrix-service-ctl startup [automatic|manual|disabled|none]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  const MachinePaths paths = MachinePaths::FromEnvironment();
  FileRegistry registry(paths);
  PosixServiceManager manager(paths, registry);
  PosixWindowSystem windows(paths);
  SystemClock clock;
  const std::unique_ptr<ServiceControl> controller =
      MakeServiceControl(paths, manager, registry, windows, clock);

  if (command == "startup") {
    if (argc == 3) {
      const std::string word = argv[2];
      StartupType type = STARTUP_UNKNOWN;
      if (word == "automatic") type = STARTUP_AUTOMATIC;
      if (word == "manual") type = STARTUP_MANUAL;
      if (word == "disabled") type = STARTUP_DISABLED;
      controller->SetStartupType(type);
      std::printf("apply %d\n", controller->ApplyStartupType());
    }
    std::printf("%s\n", StartupWord(controller->QueryStartupType()));
    return 0;
  }
  int result = 1;
  if (command == "start") {
    result = controller->StartTheService();
  } else if (command == "stop") {
    result = controller->StopTheService();
  } else if (command == "pause") {
    result = controller->PauseTheService();
  } else if (command == "continue") {
    result = controller->ContinueTheService();
  } else if (command != "status") {
    return Usage();
  }
  if (command != "status") std::printf("result %d\n", result);
  std::printf("%s\n", StatusWord(controller->QueryServiceStatusCode()));
  return 0;
}
