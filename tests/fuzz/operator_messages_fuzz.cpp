// Any bytes as a message of the operator endpoint, read by the service as a request and by the
// control panel as a reply: the readers stay inside the bytes and within the limits, and what
// they accept writes back to the very same bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "status/operator_messages.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tamrix;
  const std::span<const std::uint8_t> bytes(data, size);
  const std::vector<std::uint8_t> original(bytes.begin(), bytes.end());
  if (const auto request = DecodeOperatorRequest(bytes)) {
    Check(size <= kMaxOperatorRequestSize);
    Check(request->hostName.size() <= kOperatorHostNameLimit);
    Check(EncodeOperatorRequest(*request) == original);
  }
  if (const auto reply = DecodeOperatorReply(bytes)) {
    Check(size <= kMaxOperatorReplySize);
    const OperatorReport* report = reply->report ? &*reply->report : nullptr;
    if (report != nullptr) {
      Check(report->recentRefusals.size() <= kRecentRefusalLimit);
      Check(report->rogueServers.size() <= kRogueServerLimit);
      for (const Refusal& refusal : report->recentRefusals) {
        const auto reason = static_cast<std::uint32_t>(refusal.reason);
        Check(reason >= 1 && reason <= kRefusalReasonCount);
      }
    }
    Check(EncodeOperatorReply(reply->result, report) == original);
  }
  return 0;
}
