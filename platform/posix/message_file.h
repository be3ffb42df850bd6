#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/event_log.h"

namespace tamrix {

// A loaded event message file (a shared object exporting kMessageTextSymbol).
class MessageFile {
 public:
  MessageFile() = default;
  ~MessageFile();
  MessageFile(const MessageFile&) = delete;
  MessageFile& operator=(const MessageFile&) = delete;

  // Loads the file, replacing any loaded before; false when it is missing or not a message file.
  bool Load(const std::string& path);
  void Unload();
  bool IsLoaded() const { return text_ != nullptr; }
  std::optional<std::string> Text(std::uint32_t identifier) const;

 private:
  void* handle_ = nullptr;
  MessageTextFunction text_ = nullptr;
};

// Puts each insertion string where its %n stands (n from 1); "%%" is one "%". A %n without a
// string stays as written, so a wrong message never reads past the strings given.
std::string ExpandMessage(const std::string& text, std::span<const std::string> strings);

}  // namespace tamrix
