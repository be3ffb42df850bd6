// tamrix-boot: what the emulated machine does at its start and at its end.
//   tamrix-boot             start the automatic services and the RunServices programs
//   tamrix-boot --shutdown  send the shutdown control to every running service
#include <cstdio>
#include <cstring>

#include "platform/boot_services.h"
#include "platform/machine_paths.h"
#include "platform/posix/detached_process.h"
#include "platform/posix/file_registry.h"
#include "platform/posix/operator_access.h"
#include "platform/posix/posix_service_manager.h"

int main(int argc, char** argv) {
  using namespace tamrix;
  const MachinePaths paths = MachinePaths::FromEnvironment();
  // The run folder is made at boot, by root: the endpoints in it are for the operators only.
  MakeOperatorFolder(paths.RunDirectory());
  FileRegistry registry(paths);
  PosixServiceManager manager(paths, registry);

  if (argc == 2 && std::strcmp(argv[1], "--shutdown") == 0) {
    const int sent = ShutdownServices(registry, manager);
    std::printf("tamrix-boot: shutdown sent to %d service(s)\n", sent);
    return 0;
  }
  if (argc != 1) {
    std::fprintf(stderr, "usage: tamrix-boot [--shutdown]\n");
    return 2;
  }
  const BootOutcome outcome =
      StartBootServices(registry, manager, DetachedProgramLauncher(paths.root));
  for (const std::string& name : outcome.startedServices) {
    std::printf("tamrix-boot: started service %s\n", name.c_str());
  }
  for (const std::string& path : outcome.launchedPrograms) {
    std::printf("tamrix-boot: launched %s\n", path.c_str());
  }
  for (const std::string& failure : outcome.failures) {
    std::fprintf(stderr, "tamrix-boot: %s\n", failure.c_str());
  }
  return outcome.failures.empty() ? 0 : 1;
}
