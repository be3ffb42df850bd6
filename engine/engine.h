#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "common/operator_report.h"
#include "platform/problem_log.h"
#include "storage/allowed_client_list.h"
#include "storage/server_settings.h"

namespace tamrix {

class Clock;
class ConflictProbe;
class DhcpAnswerSource;
class EngineReporter;
class FileSystem;
class HostLookup;
class LeaseTable;
class RefusalLog;
class RequestProcessor;
class RogueWatch;
class StatusPublication;
class UdpSocket;
class UdpSocketFactory;

// What the engine needs of the machine and of its host; every reference outlives the engine.
struct EngineEnvironment {
  std::string windowsDirectory;  // TAMRIX.ini, TAMRIX.db, TAMRIX.db2
  FileSystem& files;
  Clock& clock;
  HostLookup& hosts;
  ConflictProbe& probe;
  UdpSocketFactory& sockets;
  EngineReporter& reporter;
  StatusPublication& publication;
  bool runMaintenanceThread = true;
  ProblemLog& problems = SilentProblemLog();  // why a start failed; lease database trouble
  DhcpAnswerSource* answers = nullptr;  // other servers' answers on our segments; null hears none
};

// The running server as a host frame sees it: start, stop, pause, continue, called from one
// control thread, never at the same time. The operator's three calls below may come from any
// other thread at any moment, also while a start or stop is under way.
class Engine {
 public:
  explicit Engine(EngineEnvironment environment);
  ~Engine();  // stops a running engine
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // 1 when serving, 0 when the start failed and was undone; the reason, naming the setting or
  // file, then goes to the problem log and stays in StartProblem().
  int EngineStart();
  int EngineStop();      // always 1
  int EnginePause();     // always 1; returns once the server thread holds between requests
  int EngineContinue();  // always 1

  // 1 with the report filled while running or paused, 0 when not running.
  int FetchOperatorReport(OperatorReport& out);
  // Makes the client's address its reservation (LeaseTable::ReserveLease); kNoService when not
  // running.
  ReserveOutcome ReserveLease(std::uint32_t address, const ClientId& client,
                              std::string_view hostName);
  int AcknowledgeRogueServer(std::uint32_t serverIdentifier);  // 1 acknowledged, 0 not

  bool IsRunning() const { return server_.joinable(); }
  // errno of the last socket setup that failed (0 when it did not), for the host's message.
  int LastSocketError() const { return socketError_; }
  const std::string& StartProblem() const { return startProblem_; }

 private:
  enum class Gate { kOpen, kPaused, kStopping };

  // Takes back what a start did before it failed, and says why it failed.
  void UndoStart(bool publicationStarted, std::string why);
  void ServerThread();
  bool HoldWhileClosed();  // false when the thread must end
  void HandleDatagram(std::span<const std::uint8_t> datagram, int interfaceIndex);
  void BackOffAfterError();
  void StartRogueWatch();

  EngineEnvironment env_;
  ServerSettings settings_;
  AllowedClientList allowedClients_;
  std::unique_ptr<LeaseTable> table_;
  std::unique_ptr<RefusalLog> refusals_;
  std::unique_ptr<RequestProcessor> processor_;
  std::unique_ptr<RogueWatch> rogue_;
  std::unique_ptr<UdpSocket> socket_;
  std::thread server_;
  int socketError_ = 0;
  std::string startProblem_;

  std::mutex gateMutex_;
  std::condition_variable gateChanged_;
  Gate gate_ = Gate::kOpen;
  bool held_ = false;  // the server thread waits at the gate (or has ended)

  int consecutiveErrors_ = 0;  // server thread only

  // The operator's calls touch the table, the refusal log and the watch only while serving_ is
  // set; start sets it once they all stand, stop clears it before taking any of them down.
  std::mutex operatorMutex_;
  bool serving_ = false;
};

}  // namespace tamrix
