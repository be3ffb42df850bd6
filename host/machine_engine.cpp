#include "host/machine_engine.h"

#include "platform/operator_access.h"

namespace tamrix {

MachineEngine::MachineEngine(const MachinePaths& paths, EngineReporter& reporter,
                             ProblemLog& problems)
    : blocks_(paths),
      publication_(blocks_),
      engine_(EngineEnvironment{paths.WindowsDirectory(), files_, clock_, hosts_, probe_, sockets_,
                                reporter, publication_, true, problems, &answers_}),
      endpoints_(paths),
      operatorEndpoint_(endpoints_, operatorBackend_) {
  // Root's server gives its data folder to the operators (or keeps it to root alone), so that
  // no other account reads the leases or changes the settings. A folder it may not change (an
  // operator started it) stays as setup left it.
  MakeOperatorFolder(paths.WindowsDirectory());
}

}  // namespace tamrix
