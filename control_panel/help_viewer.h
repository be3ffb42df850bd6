#pragma once

#include <string>

namespace tamrix {

// Opens the help file; the program shows it in a window of its own, tests record the path.
class HelpViewer {
 public:
  virtual ~HelpViewer() = default;
  virtual void ShowHelp(const std::string& path) = 0;
};

// TAMRIX.hlp in the installation directory.
std::string HelpFilePath(const std::string& systemDirectory);

}  // namespace tamrix
