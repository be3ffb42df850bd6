#pragma once

#include <cstdint>
#include <optional>

#include "common/client_id.h"
#include "common/event_catalogue.h"

namespace tamrix {

// Where the engine's reports go. The NT host's event reporter writes them to the event log, the
// 95 host's does nothing, tests record them. Which values an event carries is fixed per event.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void Report(EventId id, const ClientId* client, std::optional<std::uint32_t> address) = 0;
};

}  // namespace tamrix
