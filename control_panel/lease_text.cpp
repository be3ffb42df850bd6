#include "control_panel/lease_text.h"

#include <cstdio>

#include "common/address.h"
#include "platform/clock.h"
#include "platform/text_encoding.h"

namespace tamrix {

std::string ListTimeText(Seconds time) {
  const LocalDateTime t = ToLocalDateTime(time);
  char text[64];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

std::string LeaseLineText(const LeaseEntry& entry) {
  const char mark = HasOfferedBit(entry.state) ? '*' : ' ';
  const std::uint32_t a = entry.address;
  char line[32];
  std::snprintf(line, sizeof line, "%c\t%3u.%3u.%3u.%3u\t", mark, a >> 24, (a >> 16) & 0xFF,
                (a >> 8) & 0xFF, a & 0xFF);
  const std::string expiry = entry.expiry == 0 ? "<無期限>" : ListTimeText(entry.expiry);
  return line + expiry + "\t" + Cp932ToUtf8(HostName(entry));
}

LeaseState LeaseStateText(std::uint32_t state) {
  if (IsGraceState(state)) return {"リース延長中", true};
  if (HasOfferedBit(state)) return {"仮割り当て中", true};
  if (HasBoundBit(state)) return {"動的割り当て中", true};
  if (HasReservedBit(state)) return {"静的割り当て中", false};
  return {"空き", true};
}

std::string ClientIdText(const ClientId& id) {
  return FormatClientId(id);
}

std::string ExpiryDetailText(Seconds expiry) {
  if (expiry == 0) return "無期限";
  const LocalDateTime t = ToLocalDateTime(expiry);
  char text[64];
  std::snprintf(text, sizeof text, "%04d年%02d月%02d日 %02d時%02d分%02d秒", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return text;
}

LeaseDetail LeaseDetailText(const LeaseEntry& entry) {
  return {FormatAddress(entry.address), ClientIdText(entry.client), Cp932ToUtf8(HostName(entry)),
          LeaseStateText(entry.state), ExpiryDetailText(entry.expiry)};
}

}  // namespace tamrix
