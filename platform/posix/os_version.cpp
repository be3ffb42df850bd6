#include "platform/os_version.h"

#include <cctype>
#include <fstream>

namespace tamrix {

namespace {

std::string Trimmed(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  std::string trimmed = text.substr(begin, end - begin);
  for (char& c : trimmed) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return trimmed;
}

}  // namespace

std::string PlatformSettingPath(const MachinePaths& paths) {
  return paths.root + "/etc/tamrix/platform";
}

bool IsWindows95(const MachinePaths& paths) {
  std::ifstream file(PlatformSettingPath(paths));
  std::string line;
  if (!file || !std::getline(file, line)) return false;
  const std::string value = Trimmed(line);
  return value == "95" || value == "windows95";
}

}  // namespace tamrix
