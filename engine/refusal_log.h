#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "common/lease_entry.h"
#include "common/operator_report.h"

namespace tamrix {

class Clock;

// The requests a run did not serve, for the administrator: a count per reason since the start,
// and the latest kRecentRefusalLimit of them. The server thread records; any thread may copy.
// Recording takes no allocation, so a flood of refused requests costs the server no more than
// a copy into a slot of the ring.
class RefusalLog {
 public:
  explicit RefusalLog(Clock& clock) : clock_(clock) {}
  RefusalLog(const RefusalLog&) = delete;
  RefusalLog& operator=(const RefusalLog&) = delete;

  // hostName as the client sent it; only its first kMaxHostNameLength bytes are kept.
  void Record(RefusalReason reason, const ClientId& client, std::string_view hostName);
  // Fills the report's refusalCounts and recentRefusals (oldest first).
  void CopyInto(OperatorReport& report) const;

 private:
  struct Slot {
    Seconds time = 0;
    RefusalReason reason = RefusalReason::kNotOnClientList;
    ClientId client;
    std::uint8_t nameLength = 0;
    std::array<char, kMaxHostNameLength> name{};
  };

  Clock& clock_;
  mutable std::mutex mutex_;
  std::array<std::uint32_t, kRefusalReasonCount + 1> counts_{};
  std::array<Slot, kRecentRefusalLimit> ring_{};
  std::size_t next_ = 0;  // the slot the next refusal goes to
  std::size_t used_ = 0;  // slots filled, up to the ring's size
};

}  // namespace tamrix
