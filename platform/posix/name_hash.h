#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tamrix {

// A short, file-name-safe digest of a name (FNV-1a, 64 bits, 16 lower-case hex digits). Used
// where a free-form name must become a path or an object name of bounded length.
inline std::string NameDigest(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
  return digits;
}

}  // namespace tamrix
