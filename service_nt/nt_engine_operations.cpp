#include "service_nt/nt_engine_operations.h"

#include <cerrno>

#include "engine/engine.h"

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
  if (engine_ == nullptr) engine_ = &makeEngine_();
  if (engine_->EngineStart() != 0) return 1;
  lastError_ = EngineStartErrorCode(engine_->LastSocketError());
  return 0;
}
int NtEngineOperations::EngineStop() {
  return engine_ ? engine_->EngineStop() : 1;
}
int NtEngineOperations::EnginePause() {
  return engine_ ? engine_->EnginePause() : 1;
}
int NtEngineOperations::EngineContinue() {
  return engine_ ? engine_->EngineContinue() : 1;
}

}  // namespace tamrix
