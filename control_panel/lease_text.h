#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/client_id.h"
#include "common/lease_entry.h"
#include "common/time.h"

namespace tamrix {

// One line of the main list: lead mark ("*" for an offer or a lease in grace, else a blank),
// address "%3d.%3d.%3d.%3d", expiry "YYYY/MM/DD hh:mm:ss" or "<無期限>", host name; the four
// parts are joined by tabs. The host name is shown as UTF-8.
std::string LeaseLineText(const LeaseEntry& entry);

// "YYYY/MM/DD hh:mm:ss" in local time, as the lists show a moment.
std::string ListTimeText(Seconds time);

struct LeaseState {
  std::string_view text;
  bool releaseAllowed = true;
};
// Grace is tested before offered, since a lease in grace carries the offered bit too.
LeaseState LeaseStateText(std::uint32_t state);

std::string ClientIdText(const ClientId& id);

// "YYYY年MM月DD日 hh時mm分ss秒", or "無期限" for 0.
std::string ExpiryDetailText(Seconds expiry);

// The fields of the detail dialog, UTF-8.
struct LeaseDetail {
  std::string address;  // "%d.%d.%d.%d"
  std::string client;
  std::string hostName;
  LeaseState state;
  std::string expiry;
};
LeaseDetail LeaseDetailText(const LeaseEntry& entry);

}  // namespace tamrix
