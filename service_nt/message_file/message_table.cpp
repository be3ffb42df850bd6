// The event message file: the text of each of the service's events, read from the catalogue the
// reporter writes by, so an entry and its text cannot drift apart.
#include <cstdint>

#include "common/event_catalogue.h"
#include "platform/event_log.h"

extern "C" __attribute__((visibility("default"))) const char* TamxevtMessageText(
    std::uint32_t identifier) {
  const tamrix::EventEntry* event = tamrix::FindEvent(identifier);
  return event == nullptr ? nullptr : event->text;
}
