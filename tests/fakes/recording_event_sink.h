#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "common/address.h"
#include "engine/event_sink.h"

namespace tamrix::testing {

struct RecordedEvent {
  EventId id;
  std::string client;   // FormatClientId, empty when the event carries none
  std::string address;  // FormatAddress, empty when the event carries none
  bool operator==(const RecordedEvent&) const = default;
};

class RecordingEventSink final : public EventSink {
 public:
  void Report(EventId id, const ClientId* client, std::optional<std::uint32_t> address) override {
    std::lock_guard lock(mutex_);
    events.push_back({id, client ? FormatClientId(*client) : std::string(),
                      address ? FormatAddress(*address) : std::string()});
  }
  std::vector<EventId> Ids() const {
    std::vector<EventId> ids;
    for (const auto& e : events) ids.push_back(e.id);
    return ids;
  }

  std::vector<RecordedEvent> events;

 private:
  std::mutex mutex_;
};

}  // namespace tamrix::testing
