#include "storage/text_fields.h"

#include "common/hex_digit.h"

namespace tamrix {

std::optional<std::string_view> LineReader::Next() {
  if (rest_.empty()) return std::nullopt;
  const std::size_t end = rest_.find('\n');
  std::string_view line = rest_.substr(0, end);
  rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

void FieldCursor::SkipBlanks() {
  while (position_ < text_.size() && text_[position_] != '\n' && IsWhiteSpace(text_[position_])) {
    ++position_;
  }
}

std::optional<std::uint32_t> FieldCursor::HexNumber(int maxDigits) {
  if (maxDigits > 8) maxDigits = 8;  // more would not fit 32 bits
  std::uint32_t value = 0;
  int digits = 0;
  while (digits < maxDigits && position_ + digits < text_.size()) {
    const int v = HexDigitValue(text_[position_ + digits]);
    if (v < 0) break;
    value = (value << 4) | static_cast<std::uint32_t>(v);
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  position_ += static_cast<std::size_t>(digits);
  return value;
}

bool FieldCursor::Consume(char c) {
  if (position_ >= text_.size() || text_[position_] != c) return false;
  ++position_;
  return true;
}

bool FieldCursor::AtHexDigit() const {
  return position_ < text_.size() && IsHexDigit(text_[position_]);
}

bool IsHexDigit(char c) { return HexDigitValue(c) >= 0; }

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsBlankText(std::string_view text) {
  for (char c : text) {
    if (!IsWhiteSpace(c)) return false;
  }
  return true;
}

std::string ReplaceControlBytes(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return out;
}

void AppendHex(std::string& out, std::uint32_t value, int width) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char text[8];
  int count = 0;
  do {
    text[count++] = kDigits[value & 0xF];
    value >>= 4;
  } while (value != 0 && count < 8);
  for (int pad = count; pad < width; ++pad) out += '0';
  while (count > 0) out += text[--count];
}

}  // namespace tamrix
