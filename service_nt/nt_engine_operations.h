#pragma once

#include <functional>
#include <utility>

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
  explicit NtEngineOperations(Engine& engine) : engine_(&engine) {}
  // The engine is made at the first start, so the command-line switches, which never start it,
  // open no sockets. Until then the other operations have nothing to do and answer 1.
  explicit NtEngineOperations(std::function<Engine&()> makeEngine)
      : makeEngine_(std::move(makeEngine)) {}

  int EngineStart() override;
  int EngineStop() override;
  int EnginePause() override;
  int EngineContinue() override;
  int LastErrorCode() const override { return lastError_; }

 private:
  std::function<Engine&()> makeEngine_;
  Engine* engine_ = nullptr;
  int lastError_ = 0;
};

}  // namespace tamrix
