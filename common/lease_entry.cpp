#include "common/lease_entry.h"

#include <algorithm>
#include <cstring>

namespace tamrix {

std::string_view HostName(const LeaseEntry& entry) {
  const char* begin = entry.hostName.data();
  const char* end = std::find(begin, begin + entry.hostName.size(), '\0');
  return {begin, static_cast<std::size_t>(end - begin)};
}

void SetHostName(LeaseEntry& entry, std::string_view name) {
  entry.hostName.fill('\0');
  const std::size_t n = std::min(name.size(), kMaxHostNameLength);
  if (n > 0) std::memcpy(entry.hostName.data(), name.data(), n);  // an empty view may be null
}

}  // namespace tamrix
