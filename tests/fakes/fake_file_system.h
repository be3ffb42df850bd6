#pragma once

#include <map>
#include <set>

#include "platform/file_system.h"

namespace tamrix::testing {

// Files in memory; a path in failWrites refuses ReplaceFile and keeps its old contents.
class FakeFileSystem final : public FileSystem {
 public:
  std::optional<std::string> ReadFile(const std::string& path) override {
    const auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second;
  }
  bool ReplaceFile(const std::string& path, std::string_view contents) override {
    ++writes;
    if (failWrites.count(path) != 0) return false;
    files[path] = std::string(contents);
    return true;
  }

  std::map<std::string, std::string> files;
  std::set<std::string> failWrites;
  int writes = 0;
};

}  // namespace tamrix::testing
