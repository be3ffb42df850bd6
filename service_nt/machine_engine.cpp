#include "service_nt/machine_engine.h"

namespace tamrix {

MachineEngine::MachineEngine(const MachinePaths& paths, EngineReporter& reporter)
    : blocks_(paths),
      publication_(blocks_),
      engine_(EngineEnvironment{paths.WindowsDirectory(), files_, clock_, hosts_, probe_, sockets_,
                                reporter, publication_}) {}

}  // namespace tamrix
