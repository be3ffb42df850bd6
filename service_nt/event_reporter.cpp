#include "service_nt/event_reporter.h"

#include <string>
#include <vector>

#include "common/address.h"

namespace tamrix {
namespace {

// Which values each event carries, in the order of its insertion strings (client, then address).
struct EventShape {
  EventId id;
  bool client;
  bool address;
};

constexpr EventShape kShapes[] = {
    {EV_SERVER_START, false, false},    {EV_SERVER_STOP, false, false},
    {EV_DISCOVER, true, false},         {EV_OFFER, true, true},
    {EV_REQUEST, true, true},           {EV_DECLINE, true, true},
    {EV_ACK, true, true},               {EV_NAK, true, true},
    {EV_RELEASE, true, true},           {EV_INFORM, true, true},
    {EV_BOOTP_REQUEST, true, true},     {EV_BOOTP_REPLY, true, true},
    {EV_LEASE_EXPIRED, true, true},     {EV_CLIENT_REJECTED, true, false},
    {EV_ADDRESS_CONFLICT, false, true}, {EV_NO_ADDRESS, false, false},
};

const EventShape* ShapeOf(EventId id) {
  for (const EventShape& shape : kShapes) {
    if (shape.id == id) return &shape;
  }
  return nullptr;
}

}  // namespace

EventType EventTypeOf(std::uint32_t identifier) {
  switch (identifier >> 30) {
    case 1: return EventType::kInformation;
    case 2: return EventType::kWarning;
    case 3: return EventType::kError;
    default: return EventType::kSuccess;
  }
}

EventReporter::EventReporter(EventLog& log) : log_(log) {
  sourceOpen_.store(log_.OpenSource(kEventSourceName));
}

int EventReporter::CloseEventSource() {
  if (!sourceOpen_.exchange(false)) return 0;
  log_.CloseSource();
  return 1;
}

int EventReporter::Emit(EventId id, const ClientId* client, std::optional<std::uint32_t> address) {
  if (!enabled_.load()) return 0;
  const EventShape* shape = ShapeOf(id);
  if (shape == nullptr) return 0;
  // The event decides its strings: a value it does not carry is left out, one it carries but
  // was not given is written empty (0.0.0.0 for an address), so the count always matches the
  // message text.
  std::vector<std::string> strings;
  if (shape->client) strings.push_back(client ? FormatClientId(*client) : std::string());
  if (shape->address) strings.push_back(FormatAddress(address.value_or(0)));
  return log_.Write(EventTypeOf(id), id, strings);
}

}  // namespace tamrix
