#pragma once

#include <memory>

#include "platform/machine_paths.h"
#include "platform/problem_log.h"
#include "service_nt/event_reporter.h"
#include "service_nt/nt_service_frame.h"

namespace tamrix {

// Winsock's codes for the two socket failures an operator can act on.
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEINVAL = 10022;

// The error code a failed engine start leaves for the service's STOPPED report: the socket's
// failure in Winsock's terms when port 67 could not be had, otherwise ERROR_INVALID_DATA
// (settings refused, shared block not created). Never 0: a stop with code 0 reads as a clean one.
int EngineStartErrorCode(int socketErrno);

class Engine;

// The frame's view of an engine: its four operations, and the code of a failed start.
class NtEngineOperations final : public NtServiceEngine {
 public:
  explicit NtEngineOperations(Engine& engine) : engine_(engine) {}
  int EngineStart() override;
  int EngineStop() override;
  int EnginePause() override;
  int EngineContinue() override;
  int LastErrorCode() const override { return lastError_; }

 private:
  Engine& engine_;
  int lastError_ = 0;
};

// The engine on this machine's real pieces (files, clock, resolver, ICMP probe, port 67, the
// shared status block), reporting through the service's event reporter. The pieces are made at
// the first start, so the command-line switches open no sockets.
class NtMachineEngine final : public NtServiceEngine {
 public:
  NtMachineEngine(const MachinePaths& paths, EventReporter& reporter, ProblemLog& problems);
  ~NtMachineEngine() override;

  int EngineStart() override;
  int EngineStop() override;
  int EnginePause() override;
  int EngineContinue() override;
  int LastErrorCode() const override;

 private:
  struct Pieces;

  MachinePaths paths_;
  EventReporter& reporter_;
  ProblemLog& problems_;
  std::unique_ptr<Pieces> pieces_;
};

}  // namespace tamrix
