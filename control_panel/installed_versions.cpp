#include "control_panel/installed_versions.h"

#include <algorithm>
#include <cctype>

#include "common/file_version.h"
#include "common/meeting_names.h"
#include "platform/file_system.h"
#include "platform/machine_paths.h"

namespace tamrix {
namespace {

// "TAMRIX.EXE" -> "TAMRIX.exe": names differ by case on this file system.
std::string WithLowerExtension(std::string name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return name;
  std::transform(name.begin() + static_cast<std::ptrdiff_t>(dot), name.end(),
                 name.begin() + static_cast<std::ptrdiff_t>(dot),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name;
}

}  // namespace

const char* ServiceProgramName(bool isNT) {
  return isNT ? kNtServiceProgramName : k95ServiceProgramName;
}

std::string InstalledFileVersionText(FileSystem& files, const std::string& systemDirectory,
                                     const std::string& fileName) {
  const std::string folder = JoinPath(systemDirectory, meeting::kInstallFolder);
  std::optional<std::string> bytes = files.ReadFile(JoinPath(folder, fileName));
  if (!bytes) bytes = files.ReadFile(JoinPath(folder, WithLowerExtension(fileName)));
  if (!bytes) return "N/A";
  const auto version = FindFileVersion(*bytes);
  return version ? FormatFileVersion(*version) : "N/A";
}

}  // namespace tamrix
