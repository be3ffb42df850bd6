#include "common/address.h"

#include <cstdio>

#include "common/hex_digit.h"

namespace tamrix {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

int DigitValue(char c, int base) {
  const int v = HexDigitValue(c);
  return v < base ? v : -1;
}

}  // namespace

std::uint32_t ParseAddress(std::string_view text) {
  if (text.empty()) return 0;
  std::uint64_t parts[4];
  int count = 0;
  std::size_t i = 0;
  for (;;) {
    if (i >= text.size() || DigitValue(text[i], 10) < 0) return kAddressNone;
    int base = 10;
    if (text[i] == '0') {
      base = 8;
      ++i;
      if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
      }
    }
    std::uint64_t value = 0;
    bool digits = base == 8;  // the leading 0 is itself a digit
    while (i < text.size() && DigitValue(text[i], base) >= 0) {
      value = value * base + DigitValue(text[i], base);
      if (value > 0xFFFFFFFFull) return kAddressNone;
      digits = true;
      ++i;
    }
    if (!digits) return kAddressNone;
    if (count == 4) return kAddressNone;
    parts[count++] = value;
    if (i < text.size() && text[i] == '.') {
      ++i;
      continue;
    }
    break;
  }
  // Like the classic parser, a blank ends the address and whatever follows it is ignored.
  if (i < text.size() && !IsSpace(text[i])) return kAddressNone;
  // The last part fills the bytes the earlier parts leave.
  static constexpr std::uint64_t kLastPartLimit[] = {0xFFFFFFFFull, 0xFFFFFFull, 0xFFFFull, 0xFFull};
  for (int p = 0; p < count - 1; ++p) {
    if (parts[p] > 0xFF) return kAddressNone;
  }
  if (parts[count - 1] > kLastPartLimit[count - 1]) return kAddressNone;
  std::uint32_t address = 0;
  for (int p = 0; p < count - 1; ++p) address |= static_cast<std::uint32_t>(parts[p]) << (24 - 8 * p);
  return address | static_cast<std::uint32_t>(parts[count - 1]);
}

std::string FormatAddress(std::uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>(address >> 24),
                static_cast<int>((address >> 16) & 0xFF), static_cast<int>((address >> 8) & 0xFF),
                static_cast<int>(address & 0xFF));
  return text;
}

}  // namespace tamrix
