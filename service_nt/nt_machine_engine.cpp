#include "service_nt/nt_machine_engine.h"

#include <cerrno>

#include "engine/engine.h"
#include "platform/icmp_probe.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_shared_block.h"
#include "platform/posix/resolver_host_lookup.h"
#include "platform/posix/system_clock.h"
#include "platform/posix/udp_socket.h"
#include "service_nt/status_publication.h"

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
int NtEngineOperations::EngineStop() { return engine_.EngineStop(); }
int NtEngineOperations::EnginePause() { return engine_.EnginePause(); }
int NtEngineOperations::EngineContinue() { return engine_.EngineContinue(); }

struct NtMachineEngine::Pieces {
  Pieces(const MachinePaths& paths, EventReporter& reporter)
      : blocks(paths),
        publication(blocks),
        engine(EngineEnvironment{paths.WindowsDirectory(), files, clock, hosts, probe, sockets,
                                 reporter, publication}) {}

  PosixFileSystem files;
  SystemClock clock;
  ResolverHostLookup hosts;
  IcmpProbe probe;
  PosixUdpSocketFactory sockets;
  PosixSharedBlockSystem blocks;
  SharedStatusPublication publication;
  Engine engine;
  NtEngineOperations operations{engine};
};

NtMachineEngine::NtMachineEngine(const MachinePaths& paths, EventReporter& reporter)
    : paths_(paths), reporter_(reporter) {}

NtMachineEngine::~NtMachineEngine() = default;

int NtMachineEngine::EngineStart() {
  if (!pieces_) pieces_ = std::make_unique<Pieces>(paths_, reporter_);
  return pieces_->operations.EngineStart();
}
int NtMachineEngine::EngineStop() { return pieces_ ? pieces_->operations.EngineStop() : 1; }
int NtMachineEngine::EnginePause() { return pieces_ ? pieces_->operations.EnginePause() : 1; }
int NtMachineEngine::EngineContinue() {
  return pieces_ ? pieces_->operations.EngineContinue() : 1;
}
int NtMachineEngine::LastErrorCode() const {
  return pieces_ ? pieces_->operations.LastErrorCode() : 0;
}

}  // namespace tamrix
