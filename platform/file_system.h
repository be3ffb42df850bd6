#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tamrix {

// A file kept open for adding to its end. Each Append is one write at the end of the file, so a
// process killed at any moment leaves whole appends and at most the tail of the last one; Sync
// returns once everything appended is on the disk.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  virtual bool Append(std::string_view data) = 0;
  virtual bool Sync() = 0;
};

// The file operations the logic needs, so tests can run it on fakes that fail on demand.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The whole file, or nothing when it cannot be read.
  virtual std::optional<std::string> ReadFile(const std::string& path) = 0;
  // Writes a temporary file beside the target, flushes it and renames it over the target, so a
  // reader sees the old file or the new one, never a part, also after a crash. False leaves the
  // old file untouched.
  virtual bool ReplaceFile(const std::string& path, std::string_view contents) = 0;
  // Opens path for appending, creating it when missing; nothing when it cannot be opened.
  virtual std::unique_ptr<AppendFile> OpenForAppend(const std::string& path) = 0;
  // True when path is gone afterwards, also when it never existed.
  virtual bool RemoveFile(const std::string& path) = 0;
  // Renames path to the first of target, target.2, target.3 ... that does not exist yet, so
  // nothing is ever replaced; the name it got, or nothing when it could not be moved.
  virtual std::optional<std::string> MoveAside(const std::string& path,
                                               const std::string& target) = 0;
  // Removes the temporary files that ReplaceFile calls on path left behind when they were
  // interrupted; the number removed.
  virtual int RemoveLeftoverTemporaries(const std::string& path) = 0;
};

}  // namespace tamrix
