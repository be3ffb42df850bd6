#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "common/client_id.h"
#include "common/event_catalogue.h"
#include "common/meeting_names.h"
#include "engine/engine_reporter.h"
#include "platform/event_log.h"

namespace tamrix {

inline constexpr const char* kEventSourceName = meeting::kNtServiceName;

// The NT service's reporter: writes an entry for each report while enabled. The insertion
// strings are formatted per call, so reports from the server, maintenance and control threads
// never borrow each other's text.
class EventReporter final : public EngineReporter {
 public:
  explicit EventReporter(EventLog& log);  // opens the source kEventSourceName; reports start disabled

  void SetReportsEnabled(bool enabled) override { enabled_.store(enabled); }
  bool ReportsEnabled() const { return enabled_.load(); }
  int CloseEventSource() override;
  void Report(EventId id, const ClientId* client, std::optional<std::uint32_t> address) override;

 private:
  EventLog& log_;
  std::atomic<bool> enabled_{false};
  std::atomic<bool> sourceOpen_{false};
};

}  // namespace tamrix
