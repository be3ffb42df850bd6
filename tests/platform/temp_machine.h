#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/machine_paths.h"

namespace tamrix::testing {

// A machine root of its own under the temporary directory, removed with everything in it.
class TempMachine {
 public:
  TempMachine() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tamrix-scm-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) paths.root = pattern;
  }
  TempMachine(const TempMachine&) = delete;
  TempMachine& operator=(const TempMachine&) = delete;
  ~TempMachine() {
    std::error_code ignored;
    if (!paths.root.empty()) std::filesystem::remove_all(paths.root, ignored);
  }
  std::string Path(const std::string& relative) const { return paths.root + "/" + relative; }

  MachinePaths paths;
};

}  // namespace tamrix::testing
