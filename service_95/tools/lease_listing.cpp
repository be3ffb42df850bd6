#include "service_95/tools/lease_listing.h"

#include <chrono>
#include <cstdio>

#include "common/address.h"
#include "platform/text_encoding.h"

namespace tamrix {
namespace {

constexpr std::size_t kHostColumn = 16;

// Columns a UTF-8 text takes on a terminal: the half-width katakana block takes one, other
// characters of three or more bytes (kanji, kana, full-width forms) take two.
std::size_t TerminalWidth(std::string_view utf8) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const bool halfWidthKana = length == 3 && lead == 0xEF && i + 1 < utf8.size() &&
                               (static_cast<unsigned char>(utf8[i + 1]) == 0xBD ||
                                static_cast<unsigned char>(utf8[i + 1]) == 0xBE);
    width += (length >= 3 && !halfWidthKana) ? 2 : 1;
    i += length;
  }
  return width;
}

std::string Columns(std::string_view address, std::string_view state, std::string_view expiry,
                    std::string_view host, std::string_view client) {
  char row[256];
  std::snprintf(row, sizeof row, "%-15.*s  %-8.*s  %-20.*s  ", static_cast<int>(address.size()),
                address.data(), static_cast<int>(state.size()), state.data(),
                static_cast<int>(expiry.size()), expiry.data());
  std::string text = row;
  // Host names may hold multi-byte characters, so they are padded by hand, not by printf.
  const std::string_view shown = host.empty() ? std::string_view("-") : host;
  text.append(shown);
  for (std::size_t width = TerminalWidth(shown); width < kHostColumn; ++width) text.push_back(' ');
  text.append("  ");
  text.append(client.empty() ? "-" : client);
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string LeaseStateName(std::uint32_t state) {
  switch (state) {
    case LEASE_FREE:
      return "free";
    case LEASE_RESERVED:
      return "reserved";
    case LEASE_OFFERED:
      return "offered";
    case LEASE_BOUND:
      return "bound";
    case LEASE_GRACE:
      return "grace";
    default: {
      char word[16];
      std::snprintf(word, sizeof word, "%08X", state);
      return word;
    }
  }
}

std::string FormatExpiry(Seconds expiry) {
  if (expiry == 0) return "-";
  using namespace std::chrono;
  const sys_seconds when{seconds(expiry)};
  const sys_days day = floor<days>(when);
  const year_month_day date(day);
  const hh_mm_ss time(when - day);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

std::string FormatLeaseRow(const LeaseEntry& entry) {
  return Columns(FormatAddress(entry.address), LeaseStateName(entry.state),
                 FormatExpiry(entry.expiry), Cp932ToUtf8(HostName(entry)),
                 FormatClientId(entry.client));
}

std::string LeaseHeaderRow() {
  return Columns("address", "state", "expiry", "host", "client");
}

std::optional<ClientId> ParseClientIdForm(std::string_view text) {
  if (text.size() < 3 || text[2] != ':') return std::nullopt;
  std::string hex(text.substr(0, 2));
  hex.append(text.substr(3));
  if (hex.size() % 2 != 0 || hex.size() / 2 > kMaxClientIdLength) return std::nullopt;
  ClientId id;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]);
    const int low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    id.bytes[id.length++] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return id;
}

}  // namespace tamrix
