#include "engine/rogue_watch.h"

#include <algorithm>
#include <optional>

#include "common/address.h"
#include "engine/dhcp_message.h"
#include "engine/event_sink.h"
#include "platform/clock.h"

namespace tamrix {
namespace {

constexpr std::uint8_t kEthernetType = 1;  // the hardware type the alarm names the sender by

struct AnswerOptions {
  std::uint8_t messageType = 0;  // 0: none at its exact length
  std::uint32_t serverIdentifier = 0;
};

// The first message type and server identifier, each taken only at its exact length. The walk
// ends at the end option or at an option that runs past the message, keeping what came before.
AnswerOptions ReadAnswerOptions(std::span<const std::uint8_t> message) {
  AnswerOptions found;
  ForEachOption(
      message, message.size(), [&](std::uint8_t code, std::span<const std::uint8_t> data) {
        if (code == dhcp_option::kMessageType && data.size() == 1 && found.messageType == 0) {
          found.messageType = data[0];
        } else if (code == dhcp_option::kServerIdentifier && data.size() == 4 &&
                   found.serverIdentifier == 0) {
          found.serverIdentifier = BigEndian32(data);
        }
      });
  return found;
}

// The server an OFFER or ACK came from, or nothing for any other message. A server without an
// identifier of its own (none, or the broadcast address some servers put there) is known by the
// address it sent from.
std::optional<std::uint32_t> AnsweringServer(const HeardAnswer& answer) {
  const std::span<const std::uint8_t> m = answer.message;
  if (!HasMagicCookie(m) || m[dhcp_offset::kOp] != kBootReply) {
    return std::nullopt;
  }
  const AnswerOptions options = ReadAnswerOptions(m);
  if (options.messageType != DHCPOFFER && options.messageType != DHCPACK) return std::nullopt;
  std::uint32_t server = options.serverIdentifier;
  if (server == 0 || server == kBroadcastAddress) server = answer.sourceAddress;
  if (server == 0 || server == kBroadcastAddress) return std::nullopt;
  return server;
}

}  // namespace

RogueWatch::RogueWatch(DhcpAnswerSource& source, EventSink& events, Clock& clock)
    : source_(source), events_(events), clock_(clock) {}

RogueWatch::~RogueWatch() {
  Stop();
}

// A new run starts with an empty list: the watch heard nothing while the server was stopped, and
// a server still answering after a restart is worth one more alarm to whoever restarted it.
int RogueWatch::Start(std::vector<std::uint32_t> ourAddresses) {
  Stop();
  {
    std::lock_guard lock(mutex_);
    ours_ = std::move(ourAddresses);
    servers_.clear();
  }
  listening_ = source_.Start([this](const HeardAnswer& answer) { Heard(answer); }) == 1;
  return listening_ ? 1 : 0;
}

// The list stays readable after the stop, until the next start.
void RogueWatch::Stop() {
  if (!listening_) return;
  source_.Stop();
  listening_ = false;
}

std::vector<RogueServer> RogueWatch::Servers() const {
  std::lock_guard lock(mutex_);
  return servers_;
}

int RogueWatch::Acknowledge(std::uint32_t serverIdentifier) {
  std::lock_guard lock(mutex_);
  for (RogueServer& server : servers_) {
    if (server.serverIdentifier == serverIdentifier) {
      server.acknowledged = true;
      return 1;
    }
  }
  return 0;
}

void RogueWatch::Heard(const HeardAnswer& answer) {
  const std::optional<std::uint32_t> server = AnsweringServer(answer);
  if (!server) return;
  {
    std::lock_guard lock(mutex_);
    // Either address being ours makes the answer ours: a relay agent forwards our answers with
    // its own source address, and with OptSrvAddr our identifier is the broadcast address.
    const auto isOurs = [this](std::uint32_t a) {
      return std::find(ours_.begin(), ours_.end(), a) != ours_.end();
    };
    if (isOurs(*server) || isOurs(answer.sourceAddress)) return;
    const auto known = std::find_if(servers_.begin(), servers_.end(), [&](const RogueServer& s) {
      return s.serverIdentifier == *server;
    });
    if (known != servers_.end() || servers_.size() >= kRogueServerLimit) return;
    servers_.push_back({*server, answer.sourceHardwareAddress, clock_.Now(), false});
  }
  // Outside the lock: the event log may take its time, and the panel's reads must not wait.
  const ClientId hardware = MakeClientId(kEthernetType, answer.sourceHardwareAddress.data(),
                                         answer.sourceHardwareAddress.size());
  events_.Report(EV_ROGUE_SERVER, &hardware, *server);
}

}  // namespace tamrix
