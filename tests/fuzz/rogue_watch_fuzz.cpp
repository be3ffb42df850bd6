// Feeds arbitrary bytes to the watch for other servers twice: as an IPv4 packet the listener
// reads its answer out of, and as a DHCP message heard as it is. Whatever arrives, each server is
// listed and reported at most once, never our own, and the list stays within its limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "engine/event_sink.h"
#include "engine/rogue_watch.h"
#include "platform/posix/packet_answer_source.h"
#include "tests/fakes/fake_clock.h"

namespace {

using namespace tamrix;

constexpr std::uint32_t kOurs = 0xC0000201;

class CountingEventSink final : public EventSink {
 public:
  void Report(EventId, const ClientId*, std::optional<std::uint32_t> address) override {
    if (!address || *address == kOurs) std::abort();
    ++count;
  }
  std::size_t count = 0;
};

class SilentSource final : public DhcpAnswerSource {
 public:
  int Start(std::function<void(const HeardAnswer&)>) override { return 1; }
  void Stop() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  SilentSource source;
  CountingEventSink events;
  testing::FakeClock clock;
  RogueWatch watch(source, events, clock);
  watch.Start({kOurs});

  HeardAnswer answer;
  if (ReadDhcpAnswer(bytes, answer)) {
    const std::uint8_t* begin = answer.message.data();
    if (begin < data || begin + answer.message.size() > data + size) std::abort();
    watch.Heard(answer);
  }
  const HeardAnswer asIs{bytes, size >= 4 ? 0x0A000000u | data[3] : kOurs, {2, 0, 0, 0, 0, 1}};
  watch.Heard(asIs);
  watch.Heard(asIs);
  if (events.count != watch.Servers().size() || events.count > 2) std::abort();
  return 0;
}
