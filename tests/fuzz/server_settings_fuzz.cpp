// Any bytes as TAMRIX.ini: the reader must stay inside them, and what the writer makes of the
// result must read back to the same record.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "storage/server_settings.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tamrix;
  const ServerSettings parsed =
      ParseServerSettings(std::string_view(reinterpret_cast<const char*>(data), size));
  const ServerSettings again = ParseServerSettings(FormatServerSettings(parsed));
  for (const SettingKey& key : kSettingKeys) {
    if (key.kind == SettingKind::kInteger) {
      Check(parsed.*key.number == again.*key.number);
    } else {
      Check((parsed.*key.text).size() <= SettingTextLength(key.kind));
      Check((parsed.*key.text).find('\0') == std::string::npos);
      Check(parsed.*key.text == again.*key.text);
    }
  }
  return 0;
}
