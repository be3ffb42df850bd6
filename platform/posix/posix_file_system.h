#pragma once

#include "platform/file_system.h"

namespace tamrix {

class PosixFileSystem final : public FileSystem {
 public:
  std::optional<std::string> ReadFile(const std::string& path) override;
  bool ReplaceFile(const std::string& path, std::string_view contents) override;
};

}  // namespace tamrix
