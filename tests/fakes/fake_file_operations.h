#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/file_operations.h"

namespace tamrix::testing {

// Files and directories in memory. A bare source name stands for a file of the current
// directory and is kept under that name. Calls are recorded as lines ("CopyFile TAMRIX.exe
// /sys/TAMRIX/TAMRIX.exe"); a path in locked can be neither deleted nor copied over, as a file
// in use; a directory can be removed only when no file or directory lies in it.
class FakeFileOperations final : public FileOperations {
 public:
  bool CreateDirectory(const std::string& path) override {
    calls.push_back("CreateDirectory " + path);
    if (failCreateDirectory || directories.count(path) != 0 || files.count(path) != 0) {
      return false;
    }
    directories.insert(path);
    return true;
  }
  bool CopyFile(const std::string& source, const std::string& destination) override {
    calls.push_back("CopyFile " + source + " " + destination);
    const auto from = files.find(source);
    if (from == files.end() || locked.count(destination) != 0) return false;
    if (directories.count(Parent(destination)) == 0) return false;
    files[destination] = from->second;
    return true;
  }
  bool DeleteFile(const std::string& path) override {
    calls.push_back("DeleteFile " + path);
    if (locked.count(path) != 0) return false;
    return files.erase(path) != 0;
  }
  bool RemoveDirectory(const std::string& path) override {
    calls.push_back("RemoveDirectory " + path);
    if (directories.count(path) == 0 || locked.count(path) != 0) return false;
    for (const auto& [file, contents] : files) {
      if (Parent(file) == path) return false;
    }
    for (const std::string& directory : directories) {
      if (Parent(directory) == path) return false;
    }
    directories.erase(path);
    return true;
  }

  static std::string Parent(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
  }
  bool Has(const std::string& path) const { return files.count(path) != 0; }

  std::map<std::string, std::string> files;
  std::set<std::string> directories;
  std::set<std::string> locked;
  bool failCreateDirectory = false;
  std::vector<std::string> calls;
};

}  // namespace tamrix::testing
