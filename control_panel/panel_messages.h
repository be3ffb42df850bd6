#pragma once

#include <string_view>

namespace tamrix {

// The panel's message numbers; the texts are the program's own and are shown byte for byte.
enum PanelMessage : int {
  MSG_NONE = 0,
  MSG_RANGE_CHANGE = 102,
  MSG_WINS1_EMPTY = 103,
  MSG_SCOPE_EMPTY = 104,
  MSG_WINS1_INVALID = 105,
  MSG_WINS2_INVALID = 106,
  MSG_WINS2_SAME = 107,
  MSG_DNS1_EMPTY = 108,
  MSG_DNS1_INVALID = 109,
  MSG_DNS2_INVALID = 110,
  MSG_DNS2_SAME = 111,
  MSG_START_EMPTY = 112,
  MSG_END_EMPTY = 113,
  MSG_MASK_EMPTY = 114,
  MSG_START_INVALID = 115,
  MSG_END_INVALID = 116,
  MSG_MASK_INVALID = 117,
  MSG_POOL_SIZE = 118,
  MSG_LEASE_INVALID = 119,
  MSG_EXTEND_INVALID = 120,
  MSG_LEASE_TOO_SHORT = 121,
  MSG_EXTEND_TOO_SHORT = 122,
  MSG_GATEWAY_INVALID = 123,
  MSG_SELECT_ITEM = 124,
  MSG_HOST_EMPTY = 125,
  MSG_CLIENT_EMPTY = 126,
  MSG_ADDRESS_EMPTY = 127,
  MSG_ADDRESS_INVALID = 128,
  MSG_ADDRESS_NOT_RESERVABLE = 129,
  MSG_CLIENT_INVALID = 130,
  MSG_ADDRESS_RESERVED = 131,
  MSG_ADDRESS_IN_USE = 132,
  MSG_TRY_INVALID = 133,
  MSG_PING_TOO_LONG = 134,
  MSG_TRY_EMPTY = 135,
  MSG_WAIT_EMPTY = 136,
  MSG_WAIT_INVALID = 137,
  MSG_CLIENT_LISTED = 138,
  MSG_SMTP_NOT_FOUND = 139,
  MSG_POP3_NOT_FOUND = 140,
  MSG_NNTP_NOT_FOUND = 141,
  // A reservation asked of the running service: the outcomes the reservation page has no
  // rule for.
  MSG_CLIENT_HAS_RESERVATION = 142,
  MSG_SERVICE_NOT_ANSWERING = 143,
  MSG_RESERVE_REFUSED = 144,
};

// The UTF-8 text of a message number; empty for a number the panel does not know.
std::string_view PanelMessageText(int number);

// What leaving a page (or a button's operation) found: nothing, a refusal to show with OK, or a
// question whose cancel keeps the page.
struct PageCheck {
  enum Kind { kPass, kRefuse, kAsk };
  Kind kind = kPass;
  int message = MSG_NONE;

  static PageCheck Pass() { return {}; }
  static PageCheck Refuse(int number) { return {kRefuse, number}; }
  static PageCheck Ask(int number) { return {kAsk, number}; }
  bool passed() const { return kind == kPass; }
  bool operator==(const PageCheck&) const = default;
};

}  // namespace tamrix
