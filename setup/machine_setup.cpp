#include "setup/machine_setup.h"

#include <cstdio>
#include <utility>

#include "platform/operator_access.h"
#include "platform/os_version.h"

namespace tamrix {

MachineSetup::MachineSetup()
    : paths_(MachinePaths::FromEnvironment()),
      registry_(paths_),
      services_(paths_, registry_),
      windows_(paths_),
      shortcuts_(paths_, UserDataHome()) {}

SetupEnvironment MachineSetup::Environment(ProgressSink& progress, SetupMessages& messages,
                                           std::function<void(const std::string&)> startProgram) {
  return SetupEnvironment{files_,
                          registry_,
                          services_,
                          windows_,
                          shortcuts_,
                          progress,
                          messages,
                          clock_,
                          paths_.SystemDirectory(),
                          paths_.WindowsDirectory(),
                          IsWindows95(paths_),
                          std::move(startProgram),
                          [paths = paths_](const std::string& serverProgram) {
                            const bool group = EnsureOperatorGroup();
                            const bool folder = MakeOperatorFolder(paths.WindowsDirectory());
                            return LetProgramServe(serverProgram) && group && folder;
                          }};
}

void StderrMessages::Show(std::string_view text, int) {
  std::fprintf(stderr, "%s: %.*s\n", program_.c_str(), static_cast<int>(text.size()),
               text.data());
}

}  // namespace tamrix
