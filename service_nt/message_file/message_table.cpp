// The event message file: the text of each of the service's sixteen events, with %1 and %2
// where the event's insertion strings go (client identifier first, then address).
#include <cstdint>

#include "platform/event_log.h"

namespace {

struct Message {
  std::uint32_t identifier;
  const char* text;
};

constexpr Message kMessages[] = {
    {0x40000064, "DHCPサービスを開始しました。"},
    {0x40000065, "DHCPサービスを停止しました。"},
    {0x400003E9, "クライアント %1 から DHCPDISCOVER を受信しました。"},
    {0x400003EA, "クライアント %1 に DHCPOFFER (%2) を送信しました。"},
    {0x400003EB, "クライアント %1 から DHCPREQUEST (%2) を受信しました。"},
    {0x400003EC, "クライアント %1 から DHCPDECLINE (%2) を受信しました。"},
    {0x400003ED, "クライアント %1 に DHCPACK (%2) を送信しました。"},
    {0x400003EE, "クライアント %1 に DHCPNAK (%2) を送信しました。"},
    {0x400003EF, "クライアント %1 から DHCPRELEASE (%2) を受信しました。"},
    {0x400003F0, "クライアント %1 から DHCPINFORM (%2) を受信しました。"},
    {0x4000044C, "クライアント %1 から BOOTP 要求 (%2) を受信しました。"},
    {0x4000044D, "クライアント %1 に BOOTP 応答 (%2) を送信しました。"},
    {0x40002711, "クライアント %1 のアドレス %2 の期限が切れ、解放しました。"},
    {0x40002712, "クライアント %1 は許可されていないため、要求を破棄しました。"},
    {0x80002713, "アドレス %1 は他の機器が使用中です。"},
    {0x80002714, "割り当てられるアドレスがありません。"},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const char* TamxevtMessageText(
    std::uint32_t identifier) {
  for (const Message& message : kMessages) {
    if (message.identifier == identifier) return message.text;
  }
  return nullptr;
}
