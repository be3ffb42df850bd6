#pragma once

#include "engine/event_sink.h"

namespace tamrix {

// The reporter as the engine drives it: reports are written only while enabled, and the engine
// closes the event source when it stops or fails to start.
class EngineReporter : public EventSink {
 public:
  virtual void SetReportsEnabled(bool enabled) = 0;
  // 1 when an open source was closed, 0 when there was none.
  virtual int CloseEventSource() = 0;
};

// For a host without an event log (the background process): reports go nowhere and closing
// answers success.
class InertEventReporter final : public EngineReporter {
 public:
  void SetReportsEnabled(bool) override {}
  int CloseEventSource() override { return 1; }
  void Report(EventId, const ClientId*, std::optional<std::uint32_t>) override {}
};

}  // namespace tamrix
