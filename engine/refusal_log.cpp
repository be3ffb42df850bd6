#include "engine/refusal_log.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"

namespace tamrix {

void RefusalLog::Record(RefusalReason reason, const ClientId& client, std::string_view hostName) {
  const auto index = static_cast<std::uint32_t>(reason);
  if (index == 0 || index > kRefusalReasonCount) return;
  const Seconds now = clock_.Now();
  const std::size_t length = std::min(hostName.size(), kMaxHostNameLength);
  std::lock_guard guard(mutex_);
  ++counts_[index];
  Slot& slot = ring_[next_];
  slot.time = now;
  slot.reason = reason;
  slot.client = client;
  slot.nameLength = static_cast<std::uint8_t>(length);
  if (length > 0) std::memcpy(slot.name.data(), hostName.data(), length);
  next_ = (next_ + 1) % ring_.size();
  used_ = std::min(used_ + 1, ring_.size());
}

void RefusalLog::CopyInto(OperatorReport& report) const {
  // The strings are built once the lock is free, so a reader never holds up the server thread
  // with its allocations.
  std::array<Slot, kRecentRefusalLimit> slots;
  std::size_t oldest = 0;
  std::size_t used = 0;
  {
    std::lock_guard guard(mutex_);
    report.refusalCounts = counts_;
    slots = ring_;
    used = used_;
    oldest = (next_ + ring_.size() - used_) % ring_.size();
  }
  report.recentRefusals.clear();
  report.recentRefusals.reserve(used);
  for (std::size_t i = 0; i < used; ++i) {
    const Slot& slot = slots[(oldest + i) % slots.size()];
    report.recentRefusals.push_back(
        {slot.time, slot.client, std::string(slot.name.data(), slot.nameLength), slot.reason});
  }
}

}  // namespace tamrix
