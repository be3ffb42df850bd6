#include "platform/posix/message_file.h"

#include <dlfcn.h>

namespace tamrix {

MessageFile::~MessageFile() { Unload(); }

bool MessageFile::Load(const std::string& path) {
  Unload();
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) return false;
  text_ = reinterpret_cast<MessageTextFunction>(::dlsym(handle_, kMessageTextSymbol));
  if (text_ == nullptr) Unload();
  return text_ != nullptr;
}

void MessageFile::Unload() {
  text_ = nullptr;
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
}

std::optional<std::string> MessageFile::Text(std::uint32_t identifier) const {
  if (text_ == nullptr) return std::nullopt;
  const char* text = text_(identifier);
  if (text == nullptr) return std::nullopt;
  return std::string(text);
}

std::string ExpandMessage(const std::string& text, std::span<const std::string> strings) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%' || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    if (text[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    std::size_t number = 0;
    while (end < text.size() && end - i <= 2 && text[end] >= '0' && text[end] <= '9') {
      number = number * 10 + static_cast<std::size_t>(text[end] - '0');
      ++end;
    }
    if (end == i + 1 || number == 0 || number > strings.size()) {
      out += text[i];
      continue;
    }
    out += strings[number - 1];
    i = end - 1;
  }
  return out;
}

}  // namespace tamrix
