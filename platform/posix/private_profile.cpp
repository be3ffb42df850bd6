#include "platform/private_profile.h"

#include <climits>
#include <filesystem>
#include <vector>

#include "platform/file_system.h"
#include "platform/machine_paths.h"
#include "platform/text_encoding.h"

namespace tamrix {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Lines without their CR LF or LF ending.
std::vector<std::string> SplitLines(std::string_view bytes) {
  std::vector<std::string> lines;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return lines;
}

// The name of a "[name]" line, or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

bool LineHasKey(std::string_view line, std::string_view key) {
  const std::size_t equals = line.find('=');
  return equals != std::string_view::npos && EqualsIgnoringCase(Trim(line.substr(0, equals)), key);
}

// A value must stay on its own line, whatever the caller hands in.
std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

int LeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

class FileProfile final : public PrivateProfile {
 public:
  FileProfile(FileSystem& files, std::string directory, std::string fileName)
      : files_(files), directory_(std::move(directory)), fileName_(std::move(fileName)) {}

  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view fallback) override {
    const auto value = Find(section, key);
    return value ? Cp932ToUtf8(*value) : std::string(fallback);
  }

  int GetInt(std::string_view section, std::string_view key, int fallback) override {
    const auto value = Find(section, key);
    return value ? LeadingInteger(*value) : fallback;
  }

  bool WriteString(std::string_view section, std::string_view key,
                   std::string_view value) override {
    const std::string path = ResolvePath();
    const std::string old = files_.ReadFile(path).value_or(std::string());
    return files_.ReplaceFile(path, SetProfileValue(old, section, key, Utf8ToCp932(value)));
  }

 private:
  std::optional<std::string> Find(std::string_view section, std::string_view key) {
    const auto bytes = files_.ReadFile(ResolvePath());
    if (!bytes) return std::nullopt;
    return FindProfileValue(*bytes, section, key);
  }

  // An existing file in any letter case wins, the exact spelling first; otherwise the given name.
  std::string ResolvePath() const {
    std::error_code error;
    std::string match;
    for (std::filesystem::directory_iterator it(directory_, error), end; !error && it != end;
         it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (name == fileName_) return JoinPath(directory_, name);
      if (match.empty() && EqualsIgnoringCase(name, fileName_)) match = name;
    }
    return JoinPath(directory_, match.empty() ? fileName_ : match);
  }

  FileSystem& files_;
  std::string directory_;
  std::string fileName_;
};

}  // namespace

std::optional<std::string> FindProfileValue(std::string_view fileBytes, std::string_view section,
                                            std::string_view key) {
  bool inSection = false;
  for (const std::string& line : SplitLines(fileBytes)) {
    if (const auto name = SectionName(line)) {
      inSection = EqualsIgnoringCase(*name, section);
    } else if (inSection && LineHasKey(line, key)) {
      std::string_view value = Trim(std::string_view(line).substr(line.find('=') + 1));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
      }
      return std::string(value);
    }
  }
  return std::nullopt;
}

std::string SetProfileValue(std::string_view fileBytes, std::string_view section,
                            std::string_view key, std::string_view value) {
  std::vector<std::string> lines = SplitLines(fileBytes);
  const std::string newLine = OneLine(key) + "=" + OneLine(value);

  std::size_t header = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto name = SectionName(lines[i]);
    if (name && EqualsIgnoringCase(*name, section)) {
      header = i;
      break;
    }
  }
  if (header == lines.size()) {
    std::string sectionLine = "[";  // appended: GCC 12 flags "[" + x + "]" with a false -Wrestrict
    sectionLine.append(OneLine(section)).append("]");
    lines.push_back(std::move(sectionLine));
    lines.push_back(newLine);
  } else {
    // The key's own line, or after the last non-blank line of the section.
    // A later copy of the key is dropped: the service takes the last line of a key, so a stale
    // copy below the rewritten one would win there.
    std::size_t insertAt = header + 1;
    bool replaced = false;
    for (std::size_t i = header + 1; i < lines.size() && !SectionName(lines[i]);) {
      if (LineHasKey(lines[i], key)) {
        if (replaced) {
          lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
          continue;
        }
        lines[i] = newLine;
        replaced = true;
      }
      if (!Trim(lines[i]).empty()) insertAt = i + 1;
      ++i;
    }
    if (!replaced) lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine);
  }

  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

std::unique_ptr<PrivateProfile> OpenPrivateProfile(FileSystem& files, std::string directory,
                                                   std::string fileName) {
  return std::make_unique<FileProfile>(files, std::move(directory), std::move(fileName));
}

}  // namespace tamrix
