#pragma once

#include "platform/file_system.h"

namespace tamrix {

class PosixFileSystem final : public FileSystem {
 public:
  std::optional<std::string> ReadFile(const std::string& path) override;
  bool ReplaceFile(const std::string& path, std::string_view contents) override;
  std::unique_ptr<AppendFile> OpenForAppend(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  std::optional<std::string> MoveAside(const std::string& path, const std::string& target) override;
  int RemoveLeftoverTemporaries(const std::string& path) override;
};

}  // namespace tamrix
