#pragma once

#include "platform/file_operations.h"

namespace tamrix {

class PosixFileOperations final : public FileOperations {
 public:
  bool CreateDirectory(const std::string& path) override;
  // Writes a temporary file beside the destination and renames it over the old one, so a reader
  // (or a program still running from the old file) never meets a half-written file.
  bool CopyFile(const std::string& source, const std::string& destination) override;
  bool DeleteFile(const std::string& path) override;
  bool RemoveDirectory(const std::string& path) override;
};

}  // namespace tamrix
