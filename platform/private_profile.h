#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tamrix {

class FileSystem;

// Keyed settings in an INI file, with the behaviour the control panel relies on: section and key
// names compare without regard to letter case, keys the caller never names survive every write,
// a new key goes at the end of its section, a missing file is created with its section header as
// the first line, lines end in CRLF and no blanks are written around "=". Values cross this
// interface as UTF-8; the file holds cp932.
class PrivateProfile {
 public:
  virtual ~PrivateProfile() = default;
  // The value, or fallback when the file, the section or the key is missing.
  virtual std::string GetString(std::string_view section, std::string_view key,
                                std::string_view fallback) = 0;
  // The leading decimal number of the value (0 when it has none), or fallback when missing.
  virtual int GetInt(std::string_view section, std::string_view key, int fallback) = 0;
  // True when the file was replaced with the key set to value.
  virtual bool WriteString(std::string_view section, std::string_view key,
                           std::string_view value) = 0;
};

// The profile file fileName in directory. An existing file whose name matches in any letter case
// is used; otherwise fileName is created on the first write. Reads and writes go through files;
// writes replace the file atomically.
std::unique_ptr<PrivateProfile> OpenPrivateProfile(FileSystem& files, std::string directory,
                                                   std::string fileName);

// The text operations behind the file profile, on the file's bytes.
std::optional<std::string> FindProfileValue(std::string_view fileBytes, std::string_view section,
                                            std::string_view key);
std::string SetProfileValue(std::string_view fileBytes, std::string_view section,
                            std::string_view key, std::string_view value);

}  // namespace tamrix
