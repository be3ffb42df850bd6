#include "service_95/machine_engine.h"

namespace tamrix {

MachineEngine::MachineEngine(const MachinePaths& paths)
    : blocks_(paths),
      publication_(blocks_),
      engine_(EngineEnvironment{paths.WindowsDirectory(), files_, clock_, hosts_, probe_, sockets_,
                                reporter_, publication_}) {}

}  // namespace tamrix
