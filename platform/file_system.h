#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tamrix {

// The file operations the logic needs, so tests can run it on fakes that fail on demand.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The whole file, or nothing when it cannot be read.
  virtual std::optional<std::string> ReadFile(const std::string& path) = 0;
  // Writes a temporary file beside the target, flushes it and renames it over the target, so a
  // reader sees the old file or the new one, never a part. False leaves the old file untouched.
  virtual bool ReplaceFile(const std::string& path, std::string_view contents) = 0;
};

}  // namespace tamrix
