#include "service_nt/machine_engine.h"

namespace tamrix {

MachineEngine::MachineEngine(const MachinePaths& paths, EngineReporter& reporter,
                             ProblemLog& problems)
    : blocks_(paths),
      publication_(blocks_),
      engine_(EngineEnvironment{paths.WindowsDirectory(), files_, clock_, hosts_, probe_, sockets_,
                                reporter, publication_, true, problems}) {}

}  // namespace tamrix
