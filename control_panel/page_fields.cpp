#include "control_panel/page_fields.h"

#include "common/address.h"

namespace tamrix {

bool IsValidAddressText(std::string_view text) {
  const std::uint32_t address = ParseAddress(text);
  return address != 0 && address != kAddressNone;
}

std::int64_t FieldNumber(std::string_view text) {
  constexpr std::int64_t kCap = std::int64_t{1} << 40;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > kCap) return kCap;
  }
  return value;
}

}  // namespace tamrix
