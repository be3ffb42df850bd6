#include "service_nt/nt_machine_engine.h"

#include <cerrno>

#include "engine/engine.h"
#include "host/machine_engine.h"

namespace tamrix {

int EngineStartErrorCode(int socketErrno) {
  switch (socketErrno) {
    case 0:
      return ERROR_INVALID_DATA;
    case EADDRINUSE:
      return WSAEADDRINUSE;
    case EACCES:
    case EPERM:
      return WSAEACCES;
    default:
      return WSAEINVAL;
  }
}

int NtEngineOperations::EngineStart() {
  lastError_ = 0;
  if (engine_.EngineStart() != 0) return 1;
  lastError_ = EngineStartErrorCode(engine_.LastSocketError());
  return 0;
}
int NtEngineOperations::EngineStop() {
  return engine_.EngineStop();
}
int NtEngineOperations::EnginePause() {
  return engine_.EnginePause();
}
int NtEngineOperations::EngineContinue() {
  return engine_.EngineContinue();
}

struct NtMachineEngine::Pieces {
  Pieces(const MachinePaths& paths, EventReporter& reporter, ProblemLog& problems)
      : machine(paths, reporter, problems) {}

  MachineEngine machine;
  NtEngineOperations operations{machine.engine()};
};

NtMachineEngine::NtMachineEngine(const MachinePaths& paths, EventReporter& reporter,
                                 ProblemLog& problems)
    : paths_(paths), reporter_(reporter), problems_(problems) {}

NtMachineEngine::~NtMachineEngine() = default;

int NtMachineEngine::EngineStart() {
  if (!pieces_) pieces_ = std::make_unique<Pieces>(paths_, reporter_, problems_);
  return pieces_->operations.EngineStart();
}
int NtMachineEngine::EngineStop() {
  return pieces_ ? pieces_->operations.EngineStop() : 1;
}
int NtMachineEngine::EnginePause() {
  return pieces_ ? pieces_->operations.EnginePause() : 1;
}
int NtMachineEngine::EngineContinue() {
  return pieces_ ? pieces_->operations.EngineContinue() : 1;
}
int NtMachineEngine::LastErrorCode() const {
  return pieces_ ? pieces_->operations.LastErrorCode() : 0;
}

}  // namespace tamrix
