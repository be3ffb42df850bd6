#pragma once

#include <string>

namespace tamrix {

// Whole-file and directory operations an installer needs. Each answers true when it did its job;
// a relative path is resolved against the process's current directory.
class FileOperations {
 public:
  virtual ~FileOperations() = default;
  // False also when the directory already exists.
  virtual bool CreateDirectory(const std::string& path) = 0;
  // Copies source over destination (replacing a file already there) and keeps the source's
  // permission bits, so a copied program stays runnable.
  virtual bool CopyFile(const std::string& source, const std::string& destination) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;
  // Only an empty directory can be removed.
  virtual bool RemoveDirectory(const std::string& path) = 0;
};

}  // namespace tamrix
