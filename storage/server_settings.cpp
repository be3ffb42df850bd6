#include "storage/server_settings.h"

#include <cstdio>
#include <limits>

#include "platform/file_system.h"
#include "platform/machine_paths.h"
#include "storage/text_fields.h"

namespace tamrix {
namespace {

// A value is a C string in the service's record: it ends at a zero byte.
std::string_view UpToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

void ApplySettingLine(std::string_view line, ServerSettings& settings) {
  for (const SettingKey& key : kSettingKeys) {
    if (line.size() <= key.name.size() || !line.starts_with(key.name) ||
        line[key.name.size()] != '=') {
      continue;
    }
    const std::string_view value = UpToZero(line.substr(key.name.size() + 1));
    if (key.kind == SettingKind::kInteger) {
      settings.*key.number = ParseDecimal(value);
    } else {
      settings.*key.text = std::string(value.substr(0, SettingTextLength(key.kind)));
    }
    return;
  }
}

}  // namespace

std::int32_t ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsWhiteSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulated as a magnitude in 64 bits and stopped at the first digit past the range, so no
  // length of digits can overflow.
  constexpr std::int64_t kMaxMagnitude = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kMaxMagnitude) magnitude = kMaxMagnitude + 1;
  }
  if (negative) {
    return magnitude >= kMaxMagnitude ? std::numeric_limits<std::int32_t>::min()
                                      : static_cast<std::int32_t>(-magnitude);
  }
  return magnitude >= kMaxMagnitude ? std::numeric_limits<std::int32_t>::max()
                                    : static_cast<std::int32_t>(magnitude);
}

ServerSettings ParseServerSettings(std::string_view fileBytes) {
  ServerSettings settings;
  LineReader lines(fileBytes);
  const auto header = lines.Next();
  if (!header || *header != kSettingsHeader) return settings;
  while (const auto line = lines.Next()) {
    // The reader's buffer holds kSettingsLineLimit characters with the line feed; a longer line
    // comes in pieces, and each piece is examined as a line of its own (a piece that happens to
    // begin with a key sets it).
    std::string_view rest = *line;
    do {
      const std::string_view piece = rest.substr(0, kSettingsLineLimit);
      rest.remove_prefix(piece.size());
      ApplySettingLine(piece, settings);
    } while (!rest.empty());
  }
  return settings;
}

ServerSettings LoadServerSettings(FileSystem& files, const std::string& windowsDirectory) {
  auto bytes = files.ReadFile(JoinPath(windowsDirectory, std::string(kSettingsFileName)));
  if (!bytes) bytes = files.ReadFile(JoinPath(windowsDirectory, "TAMRIX.INI"));
  if (!bytes) return ServerSettings{};
  return ParseServerSettings(*bytes);
}

std::string FormatServerSettings(const ServerSettings& settings) {
  std::string out(kSettingsHeader);
  out += "\r\n";
  for (const SettingKey& key : kSettingKeys) {
    out += key.name;
    out += '=';
    if (key.kind == SettingKind::kInteger) {
      char digits[16];
      std::snprintf(digits, sizeof digits, "%d", static_cast<int>(settings.*key.number));
      out += digits;
    } else {
      std::string value = (settings.*key.text).substr(0, SettingTextLength(key.kind));
      for (char& c : value) {
        if (c == '\n' || c == '\0') c = '?';
      }
      out += value;
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace tamrix
