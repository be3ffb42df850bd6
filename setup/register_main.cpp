// tamrix-register: what the Debian package's maintainer scripts ask of setup. The package manager
// puts the programs into the installation directory and takes them away again; this does the
// rest of setup's work around that, without a display.
//   tamrix-register install [--keep-start-type]   after the files are in place
//   tamrix-register remove                        before they go
// Exit status: 0 done, 1 a step failed (said on standard error), 2 a wrong command line.
#include <cstdio>
#include <string_view>

#include "setup/install.h"
#include "setup/machine_setup.h"
#include "setup/uninstall.h"

int main(int argc, char** argv) {
  using namespace tamrix;
  const std::string_view command = argc >= 2 ? argv[1] : "";
  const std::string_view option = argc == 3 ? argv[2] : "";
  const bool install = command == "install" && (argc == 2 || option == "--keep-start-type");
  const bool remove = command == "remove" && argc == 2;
  if (!install && !remove) {
    std::fprintf(stderr, "usage: tamrix-register install [--keep-start-type] | remove\n");
    return 2;
  }
  MachineSetup machine;
  SilentProgress progress;
  StderrMessages messages("tamrix-register");
  SetupEnvironment env = machine.Environment(progress, messages, nullptr);
  const int result = install ? RegisterInstalledFiles(env, !option.empty())
                             : UnregisterInstallation(env);
  return result == 1 ? 0 : 1;
}
