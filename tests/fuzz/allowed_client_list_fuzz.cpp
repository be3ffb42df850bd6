// Any bytes as TAMRIX.db2: the reader must stay inside them and keep the list sorted and free of
// duplicates, and the file written from the list must read back to the same entries.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "storage/allowed_client_list.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Strictly ascending by the length byte, then the counted bytes.
bool Before(const tamrix::ClientId& a, const tamrix::ClientId& b) {
  if (a.length != b.length) return a.length < b.length;
  return std::memcmp(a.bytes.data(), b.bytes.data(), a.length) < 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tamrix;
  AllowedClientList list;
  ParseAllowedClientList(std::string_view(reinterpret_cast<const char*>(data), size), list);
  const auto& entries = list.entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    Check(entries[i].id.IsValid());
    Check(entries[i].comment.size() <= kMaxClientCommentLength);
    Check(list.IsAllowedClient(entries[i].id) == 1);
    if (i > 0) Check(Before(entries[i - 1].id, entries[i].id));
  }

  AllowedClientList again;
  Check(ParseAllowedClientList(FormatAllowedClientList(list), again) == 0);
  Check(again.entries().size() == entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    Check(again.entries()[i].id == entries[i].id);
    Check(again.entries()[i].comment == entries[i].comment);
  }
  return 0;
}
