#include "control_panel/installed_versions.h"

#include <algorithm>
#include <cctype>

#include "common/file_version.h"
#include "common/meeting_names.h"
#include "platform/file_system.h"
#include "platform/machine_paths.h"

namespace tamrix {
namespace {

// Names differ by case on this file system: "TAMRIX.exe" is shown as "TAMRIX.EXE", and a file
// looked for as "TAMRIX.EXE" may have been installed as "TAMRIX.exe".
std::string WithExtensionCase(std::string_view fileName, bool upper) {
  std::string name(fileName);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return name;
  std::transform(name.begin() + static_cast<std::ptrdiff_t>(dot), name.end(),
                 name.begin() + static_cast<std::ptrdiff_t>(dot),
                 [upper](unsigned char c) {
                   return static_cast<char>(upper ? std::toupper(c) : std::tolower(c));
                 });
  return name;
}

}  // namespace

std::string PanelProgramName() {
  return WithExtensionCase(meeting::kPanelProgram, true);
}

std::string ServiceProgramName(bool isNT) {
  const char* file = isNT ? meeting::kNtServiceProgram : meeting::k95ServiceProgram;
  return WithExtensionCase(file, true);
}

std::string InstalledFileVersionText(FileSystem& files, const std::string& systemDirectory,
                                     const std::string& fileName) {
  const std::string folder = JoinPath(systemDirectory, meeting::kInstallFolder);
  std::optional<std::string> bytes = files.ReadFile(JoinPath(folder, fileName));
  if (!bytes) bytes = files.ReadFile(JoinPath(folder, WithExtensionCase(fileName, false)));
  if (!bytes) return "N/A";
  const auto version = FindFileVersion(*bytes);
  return version ? FormatFileVersion(*version) : "N/A";
}

}  // namespace tamrix
