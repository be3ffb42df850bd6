#pragma once

#include <map>
#include <memory>
#include <set>

#include "platform/file_system.h"

namespace tamrix::testing {

// Files in memory; a path in failWrites refuses ReplaceFile and appends and keeps its old
// contents. What was appended but not yet synced is kept apart, so a test can cut the power.
class FakeFileSystem final : public FileSystem {
 public:
  std::optional<std::string> ReadFile(const std::string& path) override {
    const auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second + unsynced[path];
  }
  bool ReplaceFile(const std::string& path, std::string_view contents) override {
    ++writes;
    if (failWrites.count(path) != 0) return false;
    files[path] = std::string(contents);
    unsynced.erase(path);
    return true;
  }
  std::unique_ptr<AppendFile> OpenForAppend(const std::string& path) override {
    if (failWrites.count(path) != 0) return nullptr;
    files.try_emplace(path);
    return std::make_unique<Appender>(*this, path);
  }
  bool RemoveFile(const std::string& path) override {
    files.erase(path);
    unsynced.erase(path);
    return true;
  }
  std::optional<std::string> MoveAside(const std::string& path,
                                       const std::string& target) override {
    if (failWrites.count(path) != 0 || files.count(path) == 0) return std::nullopt;
    std::string name = target;
    for (int number = 2; files.count(name) != 0; ++number) {
      name = target + "." + std::to_string(number);
    }
    files[name] = *ReadFile(path);
    RemoveFile(path);
    return name;
  }
  int RemoveLeftoverTemporaries(const std::string& path) override {
    int removed = 0;
    for (auto it = files.begin(); it != files.end();) {
      const bool leftover = it->first.rfind(path + ".partial-", 0) == 0;
      removed += leftover ? 1 : 0;
      it = leftover ? files.erase(it) : std::next(it);
    }
    return removed;
  }

  // Everything appended and not synced is lost, as in a power cut.
  void CutPower() { unsynced.clear(); }

  std::map<std::string, std::string> files;
  std::map<std::string, std::string> unsynced;
  std::set<std::string> failWrites;
  int writes = 0;

 private:
  class Appender final : public AppendFile {
   public:
    Appender(FakeFileSystem& owner, std::string path) : owner_(owner), path_(std::move(path)) {}
    bool Append(std::string_view data) override {
      if (owner_.failWrites.count(path_) != 0 || owner_.files.count(path_) == 0) return false;
      owner_.unsynced[path_] += data;
      return true;
    }
    bool Sync() override {
      if (owner_.files.count(path_) == 0) return false;
      owner_.files[path_] += owner_.unsynced[path_];
      owner_.unsynced.erase(path_);
      return true;
    }

   private:
    FakeFileSystem& owner_;
    std::string path_;
  };
};

}  // namespace tamrix::testing
