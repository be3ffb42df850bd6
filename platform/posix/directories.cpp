#include "platform/posix/directories.h"

#include <sys/stat.h>

#include <cerrno>

namespace tamrix {

bool MakeDirectories(const std::string& path) {
  struct stat info {};
  if (path.empty()) return false;
  if (::stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  const std::size_t cut = path.find_last_of('/');
  if (cut != std::string::npos && cut > 0 && !MakeDirectories(path.substr(0, cut))) return false;
  if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }
  return false;
}

}  // namespace tamrix
