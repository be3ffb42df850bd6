#include "control_panel/help_viewer.h"

#include "platform/machine_paths.h"

namespace tamrix {

std::string HelpFilePath(const std::string& systemDirectory) {
  return JoinPath(JoinPath(systemDirectory, "TAMRIX"), "TAMRIX.hlp");
}

}  // namespace tamrix
