#pragma once

#include <string>
#include <string_view>

namespace tamrix {

// The data files and the settings file hold cp932 bytes; the GUI holds UTF-8. Conversion happens
// where bytes cross between the two. A sequence that has no counterpart becomes "?" so one bad
// character never loses the rest of the text.
std::string Cp932ToUtf8(std::string_view cp932);
std::string Utf8ToCp932(std::string_view utf8);

// The longest prefix of cp932 bytes of at most maxBytes that does not split a double-byte
// character, so a cut field never ends in half a character.
std::string_view Cp932Prefix(std::string_view cp932, std::size_t maxBytes);

}  // namespace tamrix
