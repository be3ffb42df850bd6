#include "common/file_version.h"

#include <cstdio>

namespace tamrix {
namespace {

// Reads "a.b.c.d\0" at the start of text.
std::optional<FileVersion> ParseVersionText(std::string_view text) {
  FileVersion version{};
  std::size_t at = 0;
  for (std::size_t part = 0; part < version.size(); ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != '.') return std::nullopt;
      ++at;
    }
    std::uint32_t value = 0;
    std::size_t digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 5) {
      value = value * 10 + static_cast<std::uint32_t>(text[at] - '0');
      ++at;
      ++digits;
    }
    if (digits == 0 || value > 0xFFFF) return std::nullopt;
    version[part] = static_cast<std::uint16_t>(value);
  }
  if (at >= text.size() || text[at] != '\0') return std::nullopt;
  return version;
}

}  // namespace

std::optional<FileVersion> FindFileVersion(std::string_view fileBytes) {
  std::size_t from = 0;
  while (true) {
    const std::size_t found = fileBytes.find(kFileVersionTag, from);
    if (found == std::string_view::npos) return std::nullopt;
    const std::size_t valueAt = found + kFileVersionTag.size();
    if (auto version = ParseVersionText(fileBytes.substr(valueAt))) return version;
    from = found + 1;
  }
}

std::string FormatFileVersion(const FileVersion& version) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned{version[0]}, unsigned{version[1]},
                unsigned{version[2]}, unsigned{version[3]});
  return text;
}

}  // namespace tamrix
