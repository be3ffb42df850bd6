#include "control_panel/help_viewer.h"

#include "common/meeting_names.h"
#include "platform/machine_paths.h"

namespace tamrix {

std::string HelpFilePath(const std::string& systemDirectory) {
  return JoinPath(JoinPath(systemDirectory, meeting::kInstallFolder), meeting::kHelpFile);
}

}  // namespace tamrix
