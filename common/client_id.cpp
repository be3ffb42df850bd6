#include "common/client_id.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tamrix {

ClientId MakeClientId(std::uint8_t type, const std::uint8_t* hardware, std::size_t count) {
  ClientId id;
  count = std::min<std::size_t>(count, kMaxClientIdLength - 1);
  id.length = static_cast<std::uint8_t>(count + 1);
  id.bytes[0] = type;
  if (count > 0) std::memcpy(id.bytes.data() + 1, hardware, count);
  return id;
}

std::string FormatClientId(const ClientId& id) {
  std::string text;
  const std::size_t counted = std::min<std::size_t>(id.length, kMaxClientIdLength);
  char digits[3];
  for (std::size_t i = 0; i < counted; ++i) {
    std::snprintf(digits, sizeof digits, "%02X", id.bytes[i]);
    text += digits;
    if (i == 0) text += ':';
  }
  return text;
}

}  // namespace tamrix
