#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tamrix {

// A program's file version, the four numbers shown as "%d.%d.%d.%d".
using FileVersion = std::array<std::uint16_t, 4>;

// Each program carries its version as the text kFileVersionTag + "1.2.1.0" + NUL in its own
// bytes (tamrix_embed_file_version in CMake puts it there), so another program can read it back
// from the file without running it.
inline constexpr std::string_view kFileVersionTag = "TAMRIX-FILEVERSION:";

// The first well-formed marker in a file's bytes: four decimal numbers of at most 65535 joined
// by dots and ended by a NUL. Other occurrences of the tag (a reader's own copy of it) are
// passed over. Nothing when no marker is well formed.
std::optional<FileVersion> FindFileVersion(std::string_view fileBytes);

std::string FormatFileVersion(const FileVersion& version);

}  // namespace tamrix
