#include "control_panel/client_id_text.h"

#include "common/hex_digit.h"

namespace tamrix {
namespace {

// One pair of characters: leading blanks skipped, then hex digits up to the first other
// character; nothing readable is a failure. The read never leaves the pair.
std::optional<std::uint8_t> ReadPair(std::string_view pair) {
  std::size_t i = 0;
  while (i < pair.size() && pair[i] == ' ') ++i;
  int value = 0;
  bool any = false;
  for (; i < pair.size() && HexDigitValue(pair[i]) >= 0; ++i) {
    value = value * 16 + HexDigitValue(pair[i]);
    any = true;
  }
  if (!any) return std::nullopt;
  return static_cast<std::uint8_t>(value);
}

}  // namespace

std::optional<ClientId> ParseClientIdText(std::string_view text) {
  const std::size_t n = text.size();
  if (n < 3 || n % 2 == 0 || n / 2 > kMaxClientIdLength) return std::nullopt;
  if (text[2] != ':') return std::nullopt;
  ClientId id;
  id.length = static_cast<std::uint8_t>(n / 2);
  const auto type = ReadPair(text.substr(0, 2));
  if (!type) return std::nullopt;
  id.bytes[0] = *type;
  for (std::size_t b = 1; b < id.length; ++b) {
    const auto value = ReadPair(text.substr(1 + 2 * b, 2));
    if (!value) return std::nullopt;
    id.bytes[b] = *value;
  }
  return id;
}

}  // namespace tamrix
