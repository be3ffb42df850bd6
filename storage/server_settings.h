#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "storage/settings_keys.h"

namespace tamrix {

class FileSystem;

// The service reads the file in pieces of at most this many characters (line end included); the
// rest of a longer line reaches it as a line of its own.
inline constexpr std::size_t kSettingsLineLimit = 511;

inline constexpr std::string_view kSettingsFileName = "TAMRIX.ini";
inline constexpr char kSettingsSection[] = "TAMRIX";
inline constexpr std::string_view kSettingsHeader = "[TAMRIX]";

// The service's own reading of the file's bytes: the first line must be exactly "[TAMRIX]"
// (a CR before the line feed is tolerated); then every line that begins with a known key and
// "=" sets it, the first key of the table that matches winning, a later line overriding an
// earlier one. A value ends at its line end or at a zero byte. Anything else gives the defaults.
ServerSettings ParseServerSettings(std::string_view fileBytes);

// Reads TAMRIX.ini from the Windows directory; a missing file leaves the defaults. The name's
// letter case does not matter to the system, so "TAMRIX.INI" is read when "TAMRIX.ini" is not
// there.
ServerSettings LoadServerSettings(FileSystem& files, const std::string& windowsDirectory);

// The file as the profile functions write it: the section header, then "Key=value" for every
// key in table order, CRLF line ends, integers in decimal. Texts are cut to their field and
// line ends or zero bytes in them become "?", so every line reads back as the key it was.
std::string FormatServerSettings(const ServerSettings& settings);

// atoi: leading white space, one optional sign, decimal digits up to the first other character;
// no digits give 0. A value beyond the signed 32-bit range saturates at its nearest end.
std::int32_t ParseDecimal(std::string_view text);

}  // namespace tamrix
