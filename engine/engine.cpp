#include "engine/engine.h"

#include <array>
#include <cstring>
#include <system_error>

#include "common/address.h"
#include "engine/engine_reporter.h"
#include "engine/lease_table.h"
#include "engine/refusal_log.h"
#include "engine/request_processor.h"
#include "engine/rogue_watch.h"
#include "engine/status_publication.h"
#include "platform/clock.h"
#include "platform/dhcp_answer_source.h"
#include "platform/machine_paths.h"
#include "platform/udp_socket.h"
#include "storage/lease_database.h"

namespace tamrix {
namespace {

// After this many receive failures in a row the thread pauses briefly between tries, so an error
// that does not go away costs little while the thread still serves once it does.
constexpr int kErrorsBeforeBackOff = 8;
constexpr int kBackOffMilliseconds = 100;

// For a host that gives no source: nothing is ever heard.
class DeafAnswerSource final : public DhcpAnswerSource {
 public:
  int Start(std::function<void(const HeardAnswer&)>) override { return 0; }
  void Stop() override {}
};

DhcpAnswerSource& NoAnswers() {
  static DeafAnswerSource source;
  return source;
}

}  // namespace

Engine::Engine(EngineEnvironment environment) : env_(std::move(environment)) {}

Engine::~Engine() {
  if (IsRunning()) EngineStop();
}

int Engine::EngineStart() {
  if (IsRunning()) return 1;
  socketError_ = 0;
  startProblem_.clear();
  settings_ = LoadServerSettings(env_.files, env_.windowsDirectory);
  allowedClients_.ClearAllowedClientList();
  // An unreadable list leaves it empty: only reserved clients are served then.
  if (settings_.CheckClient != 0) {
    LoadAllowedClientList(env_.files, env_.windowsDirectory, allowedClients_);
  }
  if (settings_.OptUseLog != 0) env_.reporter.SetReportsEnabled(true);

  table_ = std::make_unique<LeaseTable>(LeaseTableEnvironment{
      env_.clock, env_.hosts, env_.files, env_.reporter, env_.probe, settings_,
      JoinPath(env_.windowsDirectory, std::string(kLeaseDatabaseFileName)),
      env_.runMaintenanceThread, env_.problems});
  if (table_->LeaseTableInit(LeaseTableSettingsFrom(settings_)) != 0) {
    std::string why = table_->InitProblem();
    if (table_->InitRefusedSettings()) {
      why = "settings refused: " + why + " in " +
            JoinPath(env_.windowsDirectory, std::string(kSettingsFileName));
    }
    UndoStart(false, std::move(why));
    return 0;
  }
  // Without its socket the server would run and answer nobody; refuse the start instead. The
  // port is taken before the status block: a second server that cannot have it (another one
  // serves) must fail without replacing the running server's block with one it then removes.
  socket_ = env_.sockets.OpenServerSocket(socketError_);
  if (!socket_) {
    UndoStart(false, std::string("UDP port 67: ") +
                         (socketError_ != 0 ? std::strerror(socketError_) : "cannot be opened"));
    return 0;
  }
  if (env_.publication.StartStatusPublication(*table_) != 1) {
    UndoStart(false, "the shared status block cannot be created");
    return 0;
  }
  refusals_ = std::make_unique<RefusalLog>(env_.clock);
  processor_ = std::make_unique<RequestProcessor>(*table_, settings_, allowedClients_,
                                                  env_.reporter, *refusals_);
  {
    std::lock_guard lock(gateMutex_);
    gate_ = Gate::kOpen;
    held_ = false;
  }
  try {
    server_ = std::thread([this] { ServerThread(); });
  } catch (const std::system_error&) {
    UndoStart(true, "the server thread cannot be started");
    return 0;
  }
  StartRogueWatch();
  std::lock_guard lock(operatorMutex_);
  serving_ = true;
  return 1;
}

// Listening is a help to the administrator, not a condition of serving: a watch that cannot
// listen leaves the server running.
void Engine::StartRogueWatch() {
  rogue_ = std::make_unique<RogueWatch>(env_.answers ? *env_.answers : NoAnswers(), env_.reporter,
                                        env_.clock);
  // Our own answers carry one of these as server identifier, as Values() chooses it.
  std::vector<std::uint32_t> ours = table_->HostAddresses();
  ours.push_back(settings_.OptSrvAddr != 0 ? kBroadcastAddress : table_->ServerAddress());
  if (rogue_->Start(std::move(ours)) != 1 && env_.answers != nullptr) {
    env_.problems.Report("cannot listen for other DHCP servers on the network");
  }
}

// Takes back what a start did before it failed. The table is dropped without saving: a start
// that failed leaves TAMRIX.db as it found it.
void Engine::UndoStart(bool publicationStarted, std::string why) {
  startProblem_ = std::move(why);
  env_.problems.Report("cannot start: " + startProblem_);
  processor_.reset();
  refusals_.reset();
  socket_.reset();
  if (publicationStarted) env_.publication.StopStatusPublication();
  table_.reset();
  allowedClients_.ClearAllowedClientList();
  env_.reporter.SetReportsEnabled(false);
  env_.reporter.CloseEventSource();
}

int Engine::EngineStop() {
  {
    std::lock_guard lock(operatorMutex_);
    serving_ = false;
  }
  if (rogue_) {
    rogue_->Stop();
    rogue_.reset();
  }
  if (server_.joinable()) {
    {
      std::lock_guard lock(gateMutex_);
      gate_ = Gate::kStopping;
    }
    gateChanged_.notify_all();
    socket_->Wake();
    server_.join();
    socket_.reset();  // port 67 is free from here on
    env_.reporter.Report(EV_SERVER_STOP, nullptr, std::nullopt);
  }
  processor_.reset();
  refusals_.reset();
  if (table_) {
    env_.publication.StopStatusPublication();
    table_->LeaseTableShutdown();
    table_.reset();
  }
  allowedClients_.ClearAllowedClientList();
  env_.reporter.SetReportsEnabled(false);
  env_.reporter.CloseEventSource();
  return 1;
}

// Requests that come in while paused wait in the socket and are answered after continue, each
// by its own rules; none is refused for the pause, so the refusal log has nothing to say of it.
int Engine::EnginePause() {
  if (!server_.joinable()) return 1;
  std::unique_lock lock(gateMutex_);
  if (gate_ != Gate::kOpen) return 1;
  gate_ = Gate::kPaused;
  socket_->Wake();
  // The request in hand is finished first, so the thread never holds inside the table's lock.
  gateChanged_.wait(lock, [this] { return held_; });
  return 1;
}

int Engine::EngineContinue() {
  {
    std::lock_guard lock(gateMutex_);
    if (gate_ == Gate::kPaused) gate_ = Gate::kOpen;
  }
  gateChanged_.notify_all();
  return 1;
}

int Engine::FetchOperatorReport(OperatorReport& out) {
  std::lock_guard lock(operatorMutex_);
  if (!serving_) return 0;
  out = OperatorReport{};
  out.pool = table_->CountPoolUsage();
  refusals_->CopyInto(out);
  out.rogueServers = rogue_->Servers();
  return 1;
}

ReserveOutcome Engine::ReserveLease(std::uint32_t address, const ClientId& client,
                                    std::string_view hostName) {
  std::lock_guard lock(operatorMutex_);
  if (!serving_) return ReserveOutcome::kNoService;
  return table_->ReserveLease(address, client, hostName);
}

int Engine::AcknowledgeRogueServer(std::uint32_t serverIdentifier) {
  std::lock_guard lock(operatorMutex_);
  return serving_ ? rogue_->Acknowledge(serverIdentifier) : 0;
}

void Engine::ServerThread() {
  env_.reporter.Report(EV_SERVER_START, nullptr, std::nullopt);
  std::array<std::uint8_t, kDhcpMessageSize> buffer{};
  while (HoldWhileClosed()) {
    buffer.fill(0);
    ReceivedDatagram datagram;
    switch (socket_->Receive(buffer, datagram)) {
      case ReceiveStatus::kWoken:
        break;
      case ReceiveStatus::kError:
        BackOffAfterError();
        break;
      case ReceiveStatus::kDatagram:
        consecutiveErrors_ = 0;
        HandleDatagram(std::span<const std::uint8_t>(buffer.data(), datagram.size),
                       datagram.interfaceIndex);
        break;
    }
  }
}

bool Engine::HoldWhileClosed() {
  std::unique_lock lock(gateMutex_);
  if (gate_ == Gate::kPaused) {
    held_ = true;
    gateChanged_.notify_all();
    gateChanged_.wait(lock, [this] { return gate_ != Gate::kPaused; });
    held_ = false;
  }
  if (gate_ == Gate::kStopping) {
    held_ = true;
    gateChanged_.notify_all();
    return false;
  }
  return true;
}

void Engine::HandleDatagram(std::span<const std::uint8_t> datagram, int interfaceIndex) {
  const std::optional<Reply> reply = processor_->HandleRequest(datagram);
  if (!reply) return;
  // The reply leaves by the interface its request came in on. Only a reply that went out is
  // reported as sent.
  if (socket_->Send(reply->bytes, reply->destination, reply->port, interfaceIndex)) {
    processor_->ReportSent(*reply);
  }
}

void Engine::BackOffAfterError() {
  if (++consecutiveErrors_ >= kErrorsBeforeBackOff) {
    env_.clock.SleepMilliseconds(kBackOffMilliseconds);
  }
}

}  // namespace tamrix
