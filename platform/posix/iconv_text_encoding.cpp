#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "platform/text_encoding.h"

namespace tamrix {
namespace {

// Owns one conversion descriptor for the length of one conversion.
class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(::iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) ::iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

std::size_t Cp932SequenceLength(unsigned char lead) {
  return (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC) ? 2 : 1;
}

// Converts input, replacing each sequence iconv refuses with "?".
std::string Convert(const char* to, const char* from, std::string_view input,
                    std::size_t (*sequenceLength)(unsigned char)) {
  Converter converter(to, from);
  std::string output;
  if (!converter.ok()) {
    output.assign(input);
    return output;
  }
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  char buffer[1024];
  while (inLeft > 0) {
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = ::iconv(converter.get(), &in, &inLeft, &out, &outLeft);
    output.append(buffer, sizeof buffer - outLeft);
    if (result != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: skip the sequence and mark the gap.
    const std::size_t skip =
        std::min(inLeft, sequenceLength(static_cast<unsigned char>(*in)));
    in += skip;
    inLeft -= skip;
    output.push_back('?');
    ::iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  }
  return output;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
  return Convert("UTF-8", "CP932", cp932, Cp932SequenceLength);
}

std::string Utf8ToCp932(std::string_view utf8) {
  return Convert("CP932", "UTF-8", utf8, Utf8SequenceLength);
}

std::string_view Cp932Prefix(std::string_view cp932, std::size_t maxBytes) {
  std::size_t end = 0;
  while (end < cp932.size()) {
    const std::size_t next = end + Cp932SequenceLength(static_cast<unsigned char>(cp932[end]));
    if (next > maxBytes || next > cp932.size()) break;
    end = next;
  }
  return cp932.substr(0, end);
}

}  // namespace tamrix
