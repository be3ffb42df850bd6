#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/event_log.h"

namespace tamrix::testing {

// Keeps every entry; writes fail (0) while no source is open, as the real log's do.
class RecordingEventLog final : public EventLog {
 public:
  struct Entry {
    EventType type;
    std::uint32_t identifier;
    std::vector<std::string> strings;
  };

  bool OpenSource(const std::string& sourceName) override {
    std::lock_guard lock(mutex_);
    sources.push_back(sourceName);
    open_ = openSucceeds;
    return open_;
  }
  int Write(EventType type, std::uint32_t identifier,
            std::span<const std::string> strings) override {
    std::lock_guard lock(mutex_);
    if (!open_) return 0;
    entries.push_back({type, identifier, {strings.begin(), strings.end()}});
    return 1;
  }
  void CloseSource() override {
    std::lock_guard lock(mutex_);
    ++closes;
    open_ = false;
  }

  bool openSucceeds = true;
  std::vector<std::string> sources;
  std::vector<Entry> entries;
  int closes = 0;

 private:
  std::mutex mutex_;
  bool open_ = false;
};

}  // namespace tamrix::testing
