#pragma once

#include "engine/engine.h"
#include "engine/engine_reporter.h"
#include "host/operator_endpoint.h"
#include "platform/machine_paths.h"
#include "platform/posix/icmp_probe.h"
#include "platform/posix/packet_answer_source.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_request_endpoint.h"
#include "platform/posix/posix_shared_block.h"
#include "platform/posix/resolver_host_lookup.h"
#include "platform/posix/system_clock.h"
#include "platform/posix/udp_socket.h"
#include "status/status_publication.h"

namespace tamrix {

// The engine as the operator endpoint asks it.
class EngineOperatorBackend final : public OperatorBackend {
 public:
  explicit EngineOperatorBackend(Engine& engine) : engine_(engine) {}
  int FetchOperatorReport(OperatorReport& out) override { return engine_.FetchOperatorReport(out); }
  ReserveOutcome ReserveLease(std::uint32_t address, const ClientId& client,
                              std::string_view hostName) override {
    return engine_.ReserveLease(address, client, hostName);
  }
  int AcknowledgeRogueServer(std::uint32_t serverIdentifier) override {
    return engine_.AcknowledgeRogueServer(serverIdentifier);
  }

 private:
  Engine& engine_;
};

// The engine on this machine's real pieces: files, clock, resolver, ICMP probe, port 67 and the
// shared status block. Each host brings its reporter: the managed service writes to the event
// log, the background process has none and passes the inert one. Problems (a refused start, a
// lease database that cannot be written) go to the problem log in words.
class MachineEngine {
 public:
  MachineEngine(const MachinePaths& paths, EngineReporter& reporter, ProblemLog& problems);
  Engine& engine() { return engine_; }

 private:
  PosixFileSystem files_;
  SystemClock clock_;
  ResolverHostLookup hosts_;
  IcmpProbe probe_;
  PacketAnswerSource answers_;  // other servers' answers; outlives the engine that listens
  PosixUdpSocketFactory sockets_;
  PosixSharedBlockSystem blocks_;
  SharedStatusPublication publication_;
  Engine engine_;
  // The operator endpoint opens with the engine and closes before it: its thread asks the engine.
  EngineOperatorBackend operatorBackend_{engine_};
  PosixRequestEndpointSystem endpoints_;
  OperatorEndpoint operatorEndpoint_;
};

}  // namespace tamrix
