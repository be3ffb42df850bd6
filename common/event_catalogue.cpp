#include "common/event_catalogue.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace tamrix {
namespace {

using enum EventType;
using enum EventValues;

// The message file hands these bytes out unchanged and the log layer expands them as they are,
// so they stay UTF-8 here; no conversion sits anywhere on the way.
constexpr EventEntry kCatalogue[] = {
    {EV_SERVER_START, kInformation, kNone, "DHCPサービスを開始しました。"},
    {EV_SERVER_STOP, kInformation, kNone, "DHCPサービスを停止しました。"},
    {EV_DISCOVER, kInformation, kClient, "クライアント %1 から DHCPDISCOVER を受信しました。"},
    {EV_OFFER, kInformation, kClientAndAddress,
     "クライアント %1 に DHCPOFFER (%2) を送信しました。"},
    {EV_REQUEST, kInformation, kClientAndAddress,
     "クライアント %1 から DHCPREQUEST (%2) を受信しました。"},
    {EV_DECLINE, kInformation, kClientAndAddress,
     "クライアント %1 から DHCPDECLINE (%2) を受信しました。"},
    {EV_ACK, kInformation, kClientAndAddress, "クライアント %1 に DHCPACK (%2) を送信しました。"},
    {EV_NAK, kInformation, kClientAndAddress, "クライアント %1 に DHCPNAK (%2) を送信しました。"},
    {EV_RELEASE, kInformation, kClientAndAddress,
     "クライアント %1 から DHCPRELEASE (%2) を受信しました。"},
    {EV_INFORM, kInformation, kClientAndAddress,
     "クライアント %1 から DHCPINFORM (%2) を受信しました。"},
    {EV_BOOTP_REQUEST, kInformation, kClientAndAddress,
     "クライアント %1 から BOOTP 要求 (%2) を受信しました。"},
    {EV_BOOTP_REPLY, kInformation, kClientAndAddress,
     "クライアント %1 に BOOTP 応答 (%2) を送信しました。"},
    {EV_LEASE_EXPIRED, kInformation, kClientAndAddress,
     "クライアント %1 のアドレス %2 の期限が切れ、解放しました。"},
    {EV_CLIENT_REJECTED, kInformation, kClient,
     "クライアント %1 は許可されていないため、要求を破棄しました。"},
    {EV_ADDRESS_CONFLICT, kWarning, kAddress, "アドレス %1 は他の機器が使用中です。"},
    {EV_NO_ADDRESS, kWarning, kNone, "割り当てられるアドレスがありません。"},
    {EV_POOL_EXHAUSTED, kWarning, kNone,
     "アドレス プールの空きがなくなりました。新しいクライアントにはアドレスを割り当てられません。"},
    {EV_ROGUE_SERVER, kWarning, kClientAndAddress,
     "他の DHCP サーバー %2 (ハードウェア アドレス %1) がこのネットワークで応答しています。"},
};

// The identifier carries the severity in its top bits too; an entry written with another type
// would contradict its own identifier.
constexpr bool TypeMatchesSeverityBits(const EventEntry& event) {
  constexpr EventType kBySeverity[] = {kSuccess, kInformation, kWarning, kError};
  return kBySeverity[event.id >> 30] == event.type;
}

// Each value the event carries needs its place in the text, and a place with no value would be
// shown as written.
constexpr bool TextHasAPlaceForEachValue(const EventEntry& event) {
  const std::string_view text = event.text;
  const int values = int{CarriesClient(event.values)} + int{CarriesAddress(event.values)};
  const auto has = [&](std::string_view place) { return text.find(place) != text.npos; };
  return has("%1") == (values >= 1) && has("%2") == (values >= 2) && !has("%3");
}

// FindEvent takes the first match, so a second row for an identifier would never be read.
constexpr bool IdentifiersAreDistinct() {
  for (auto a = std::begin(kCatalogue); a != std::end(kCatalogue); ++a) {
    for (auto b = a + 1; b != std::end(kCatalogue); ++b) {
      if (a->id == b->id) return false;
    }
  }
  return true;
}

static_assert(std::ranges::all_of(kCatalogue, TypeMatchesSeverityBits));
static_assert(std::ranges::all_of(kCatalogue, TextHasAPlaceForEachValue));
static_assert(IdentifiersAreDistinct());

}  // namespace

std::span<const EventEntry> EventCatalogue() {
  return kCatalogue;
}

const EventEntry* FindEvent(std::uint32_t identifier) {
  const auto found = std::ranges::find(kCatalogue, identifier, &EventEntry::id);
  return found == std::end(kCatalogue) ? nullptr : found;
}

}  // namespace tamrix
