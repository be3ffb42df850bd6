#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "common/operator_report.h"
#include "platform/dhcp_answer_source.h"

namespace tamrix {

class Clock;
class EventSink;

// Another DHCP server answering on our segments takes clients away from us. Each server
// identifier is reported once per run, with the hardware address it was heard from, and kept
// until the next start; the administrator acknowledges it in the control panel. Start, Stop and
// the destructor come from one control thread; the others may be called from any thread.
class RogueWatch {
 public:
  RogueWatch(DhcpAnswerSource& source, EventSink& events, Clock& clock);
  ~RogueWatch();  // stops listening
  RogueWatch(const RogueWatch&) = delete;
  RogueWatch& operator=(const RogueWatch&) = delete;

  // Starts listening with an empty list; answers whose server identifier or source address is
  // one of ourAddresses (host byte order) are our own. 1 when listening, 0 when the source
  // cannot listen (the server serves all the same).
  int Start(std::vector<std::uint32_t> ourAddresses);
  void Stop();

  // In the order first heard, at most kRogueServerLimit.
  std::vector<RogueServer> Servers() const;
  // 1 when a server with that identifier was known and is now acknowledged, else 0.
  int Acknowledge(std::uint32_t serverIdentifier);

  // One answer as the source delivers it; public so tests and the fuzzer can feed it.
  void Heard(const HeardAnswer& answer);

 private:
  DhcpAnswerSource& source_;
  EventSink& events_;
  Clock& clock_;
  mutable std::mutex mutex_;
  std::vector<std::uint32_t> ours_;
  std::vector<RogueServer> servers_;
  bool listening_ = false;  // control thread only
};

}  // namespace tamrix
