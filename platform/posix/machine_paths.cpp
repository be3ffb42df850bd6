#include "platform/machine_paths.h"

#include <sys/stat.h>

#include <cstdlib>

#include "common/meeting_names.h"

namespace tamrix {

MachinePaths MachinePaths::FromEnvironment() {
  MachinePaths paths;
  if (const char* root = std::getenv("TAMRIX_SYSROOT")) paths.root = root;
  while (!paths.root.empty() && paths.root.back() == '/') paths.root.pop_back();
  return paths;
}

std::string MachinePaths::WindowsDirectory() const { return root + "/var/lib/tamrix"; }
std::string MachinePaths::SystemDirectory() const {
  const std::string packaged = root + "/usr/lib";
  struct stat folder {};
  if (::stat(JoinPath(packaged, meeting::kInstallFolder).c_str(), &folder) == 0 &&
      S_ISDIR(folder.st_mode)) {
    return packaged;
  }
  return root + "/usr/local/lib";
}
std::string MachinePaths::InstallDirectory() const {
  return JoinPath(SystemDirectory(), meeting::kInstallFolder);
}
std::string MachinePaths::RunDirectory() const { return root + "/run/tamrix"; }

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty() || directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

}  // namespace tamrix
