#include "service_nt/event_reporter.h"

#include <string>
#include <vector>

#include "common/address.h"

namespace tamrix {

EventReporter::EventReporter(EventLog& log) : log_(log) {
  sourceOpen_.store(log_.OpenSource(kEventSourceName));
}

int EventReporter::CloseEventSource() {
  if (!sourceOpen_.exchange(false)) return 0;
  log_.CloseSource();
  return 1;
}

void EventReporter::Report(EventId id, const ClientId* client,
                           std::optional<std::uint32_t> address) {
  if (!enabled_.load()) return;
  const EventEntry* event = FindEvent(id);
  if (event == nullptr) return;
  // The event decides its strings: a value it does not carry is left out, one it carries but
  // was not given is written empty (0.0.0.0 for an address), so the count always matches the
  // message text.
  std::vector<std::string> strings;
  if (CarriesClient(event->values)) {
    strings.push_back(client ? FormatClientId(*client) : std::string());
  }
  if (CarriesAddress(event->values)) strings.push_back(FormatAddress(address.value_or(0)));
  log_.Write(event->type, id, strings);
}

}  // namespace tamrix
