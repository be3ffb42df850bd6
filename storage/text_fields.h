#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tamrix {

// Hands out the lines of a text one by one. A line ends at "\n"; a "\r" right before it (or at
// the very end of the text) belongs to the line end, so CRLF and LF files read the same. A final
// line without a line end is still a line; an empty text has none.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}
  std::optional<std::string_view> Next();

 private:
  std::string_view rest_;
};

// A read position inside one line of a data file. Every read checks what is left first, so no
// input can move it outside the line.
class FieldCursor {
 public:
  explicit FieldCursor(std::string_view text) : text_(text) {}

  // Skips blanks, tabs, vertical tabs, form feeds and carriage returns.
  void SkipBlanks();
  // One to maxDigits (at most 8) hexadecimal digits of either case; nothing when there is none
  // (the position is then unchanged).
  std::optional<std::uint32_t> HexNumber(int maxDigits);
  // Steps over c when it is next.
  bool Consume(char c);
  bool AtHexDigit() const;
  bool AtEnd() const { return position_ >= text_.size(); }
  std::string_view Rest() const { return text_.substr(position_); }
  std::size_t Position() const { return position_; }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

bool IsHexDigit(char c);
// The white space of the classic C locale: blank, \t, \n, \v, \f, \r.
bool IsWhiteSpace(char c);
bool IsBlankText(std::string_view text);

// Every control byte (below 0x20, and 0x7F) becomes "?", so a stored text can never end its line
// early or hide a line end of its own.
std::string ReplaceControlBytes(std::string_view text);

// Upper-case hexadecimal, zero-padded to width digits ("%0*X").
void AppendHex(std::string& out, std::uint32_t value, int width);

}  // namespace tamrix
