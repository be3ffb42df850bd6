#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/event_catalogue.h"

namespace tamrix {

// The machine's event log as the service reports to it: a named source, entries of an identifier,
// a type and insertion strings; the text comes from the source's message file.
class EventLog {
 public:
  virtual ~EventLog() = default;
  virtual bool OpenSource(const std::string& sourceName) = 0;  // false: entries will fail
  // 1 when the entry was written, 0 when it was not (no open source).
  virtual int Write(EventType type, std::uint32_t identifier,
                    std::span<const std::string> strings) = 0;
  virtual void CloseSource() = 0;
};

// The one function a message file exports: the text of an identifier, UTF-8 with %1, %2 where
// the insertion strings go, or null for an identifier it does not know.
using MessageTextFunction = const char* (*)(std::uint32_t identifier);
inline constexpr const char* kMessageTextSymbol = "TamxevtMessageText";

}  // namespace tamrix
