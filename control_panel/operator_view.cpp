#include "control_panel/operator_view.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>

#include "common/address.h"
#include "control_panel/lease_text.h"
#include "control_panel/panel_messages.h"
#include "platform/text_encoding.h"

namespace tamrix {
namespace {

struct ReasonRow {
  RefusalReason reason;
  std::string_view name;
  std::string_view advice;
};

// One row per reason the service reports.
constexpr ReasonRow kReasons[] = {
    {RefusalReason::kNotOnClientList, "ｸﾗｲｱﾝﾄ限定",
     "ｸﾗｲｱﾝﾄ限定の一覧にないｸﾗｲｱﾝﾄです。利用させるときは設定変更の「ｸﾗｲｱﾝﾄ限定」で追加して下さい"},
    {RefusalReason::kPoolExhausted, "ｱﾄﾞﾚｽ不足",
     "貸し出せるIPｱﾄﾞﾚｽがありません。範囲を広げるか、貸出し期間を短くするか、不要な貸出しを削除して"
     "下さい"},
    {RefusalReason::kClientIdTooLong, "ｸﾗｲｱﾝﾄIDが長すぎる",
     "ｸﾗｲｱﾝﾄIDが17ﾊﾞｲﾄを超えています(DUID)。ｸﾗｲｱﾝﾄ側でMACｱﾄﾞﾚｽをｸﾗｲｱﾝﾄIDに使うよう設定して下さい"},
    {RefusalReason::kAddressHeld, "ｱﾄﾞﾚｽ使用中",
     "要求されたIPｱﾄﾞﾚｽは別のｸﾗｲｱﾝﾄが使用中か範囲外です。ｸﾗｲｱﾝﾄでIPｱﾄﾞﾚｽを取り直して下さい"},
    {RefusalReason::kDeclineIgnored, "辞退を無視",
     "貸し出していないIPｱﾄﾞﾚｽの辞退(DHCPDECLINE)でした。別のDHCPｻｰﾊﾞｰがないか確認して下さい"},
    {RefusalReason::kBadRelayAddress, "ﾘﾚｰｱﾄﾞﾚｽ不正",
     "ﾘﾚｰｴｰｼﾞｪﾝﾄのｱﾄﾞﾚｽ(giaddr)が不正な要求でした。ﾙｰﾀｰのDHCPﾘﾚｰ設定を確認して下さい"},
    {RefusalReason::kServicePaused, "一時停止中",
     "ｻｰﾋﾞｽが一時停止していました。応答させるには「続行」を押して下さい"},
    {RefusalReason::kBootpNotReserved, "BOOTP予約なし",
     "BOOTPｸﾗｲｱﾝﾄには予約したIPｱﾄﾞﾚｽだけを貸し出します。設定変更の「ｱﾄﾞﾚｽ予約」で予約して下さい"},
};
static_assert(std::size(kReasons) == kRefusalReasonCount);

const ReasonRow* FindReason(RefusalReason reason) {
  for (const ReasonRow& row : kReasons) {
    if (row.reason == reason) return &row;
  }
  return nullptr;
}

// Counts come from another process: a negative one counts as none, and no sum of them can
// overflow.
constexpr int kCountLimit = 1 << 16;
int Count(int value) {
  return std::clamp(value, 0, kCountLimit);
}

std::string TimeText(Seconds time) {
  return time == 0 ? std::string() : ListTimeText(time);
}

// An identifier longer than the 17 bytes kept says so, or it would pass for a whole one.
std::string ClientText(const ClientId& id) {
  std::string text = FormatClientId(id);
  if (id.length > kMaxClientIdLength) text += "...";
  return text;
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [](char a, char b) { return Upper(a) == Upper(b); }) != text.end();
}

// The filter as bare upper-case hexadecimal digits; empty when it holds anything else.
std::string HexDigitsOf(std::string_view filter) {
  std::string digits;
  for (char c : filter) {
    if (c == ':' || c == '-' || c == '.' || c == ' ') continue;
    const char u = Upper(c);
    if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'F'))) return {};
    digits += u;
  }
  return digits;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

PoolUsageView MakePoolUsageView(const PoolUsage& usage) {
  const int freeCount = Count(usage.free);
  PoolUsageView view;
  view.known = true;
  view.total = Count(usage.leased) + Count(usage.offered) + Count(usage.reserved) +
               Count(usage.disabled) + freeCount;
  view.used = view.total - freeCount;
  view.barText = "使用中 " + std::to_string(view.used) + " / " + std::to_string(view.total);
  view.numbers = "貸出し " + std::to_string(Count(usage.leased)) + "　仮割り当て " +
                 std::to_string(Count(usage.offered)) + "　予約 " +
                 std::to_string(Count(usage.reserved)) + "　無効 " +
                 std::to_string(Count(usage.disabled)) + "　空き " + std::to_string(freeCount);
  if (view.total > 0 && freeCount == 0) {
    view.warning = PoolWarning::kExhausted;
    view.warningText =
        "貸し出せるIPｱﾄﾞﾚｽがありません。範囲を広げるか、不要な貸出しを削除して下さい";
  } else if (freeCount * 10 < view.total) {
    view.warning = PoolWarning::kLow;
    view.warningText =
        "空きIPｱﾄﾞﾚｽが残り少なくなっています（残り " + std::to_string(freeCount) + "個）";
  }
  return view;
}

PoolUsageView UnknownPoolUsageView() {
  PoolUsageView view;
  view.numbers = "ｻｰﾋﾞｽから使用状況を取得できません";
  return view;
}

std::string_view RefusalReasonText(RefusalReason reason) {
  const ReasonRow* row = FindReason(reason);
  return row != nullptr ? row->name : "不明";
}

std::string_view RefusalAdvice(RefusalReason reason) {
  const ReasonRow* row = FindReason(reason);
  return row != nullptr ? row->advice : std::string_view{};
}

bool IsDuidRefusal(const Refusal& refusal) {
  return refusal.reason == RefusalReason::kClientIdTooLong ||
         refusal.client.length > kMaxClientIdLength;
}

std::string RefusalLineText(const Refusal& refusal) {
  return TimeText(refusal.time) + "\t" + ClientText(refusal.client) + "\t" +
         Cp932ToUtf8(refusal.hostName) + "\t" + std::string(RefusalReasonText(refusal.reason));
}

std::string RefusalCountsText(const OperatorReport& report, bool known) {
  if (!known) return "ｻｰﾋﾞｽから拒否の記録を取得できません";
  std::string text;
  for (const ReasonRow& row : kReasons) {
    const std::uint32_t count = report.refusalCounts[static_cast<std::size_t>(row.reason)];
    if (count == 0) continue;
    text += (text.empty() ? "" : "　") + std::string(row.name) + " " + std::to_string(count) + "件";
  }
  return text.empty() ? "ｻｰﾋﾞｽ開始後の拒否はありません" : "ｻｰﾋﾞｽ開始後の拒否：" + text;
}

bool MatchesClientFilter(const Refusal& refusal, std::string_view filter) {
  filter = Trimmed(filter);
  if (filter.empty()) return true;
  if (ContainsIgnoringCase(Cp932ToUtf8(refusal.hostName), filter)) return true;
  const std::string digits = HexDigitsOf(filter);
  if (digits.empty()) return false;
  std::string client = FormatClientId(refusal.client);
  std::erase(client, ':');
  return client.find(digits) != std::string::npos;
}

std::vector<std::string> RefusalListing::Filter(std::string_view filter) {
  rows_.clear();
  std::vector<std::string> lines;
  for (std::size_t i = refusals_.size(); i-- > 0;) {
    if (!MatchesClientFilter(refusals_[i], filter)) continue;
    rows_.push_back(i);
    lines.push_back(RefusalLineText(refusals_[i]));
  }
  return lines;
}

const Refusal* RefusalListing::AtRow(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return nullptr;
  return &refusals_[rows_[static_cast<std::size_t>(row)]];
}

const RogueServer* ShownRogueServer(const std::vector<RogueServer>& servers) {
  const auto it = std::find_if(servers.begin(), servers.end(),
                               [](const RogueServer& s) { return !s.acknowledged; });
  return it != servers.end() ? &*it : nullptr;
}

std::string RogueWarningText(const std::vector<RogueServer>& servers) {
  const RogueServer* shown = ShownRogueServer(servers);
  if (shown == nullptr) return {};
  std::string text = "別のDHCPｻｰﾊﾞｰ " + FormatAddress(shown->serverIdentifier);
  const auto& mac = shown->hardwareAddress;
  if (std::any_of(mac.begin(), mac.end(), [](std::uint8_t b) { return b != 0; })) {
    char hardware[48];
    std::snprintf(hardware, sizeof hardware, " (%02X-%02X-%02X-%02X-%02X-%02X)", mac[0], mac[1],
                  mac[2], mac[3], mac[4], mac[5]);
    text += hardware;
  }
  text += " が応答しています";
  const auto others = std::count_if(servers.begin(), servers.end(),
                                    [](const RogueServer& s) { return !s.acknowledged; }) -
                      1;
  if (others > 0) text += " ほかに" + std::to_string(others) + "台";
  if (shown->firstSeen != 0) text += "\n" + TimeText(shown->firstSeen) + " に検出";
  return text;
}

int ReserveOutcomeMessage(ReserveOutcome outcome) {
  switch (outcome) {
    case ReserveOutcome::kReserved:
      return MSG_NONE;
    case ReserveOutcome::kOutsidePool:
      return MSG_ADDRESS_NOT_RESERVABLE;
    case ReserveOutcome::kAddressTaken:
      return MSG_ADDRESS_RESERVED;
    case ReserveOutcome::kClientHasReservation:
      return MSG_CLIENT_HAS_RESERVATION;
    case ReserveOutcome::kNoService:
      return MSG_SERVICE_NOT_ANSWERING;
    case ReserveOutcome::kRefused:
      break;
  }
  return MSG_RESERVE_REFUSED;  // also any outcome this panel does not know
}

bool ReserveAllowed(const LeaseEntry& entry, ServiceStatus status) {
  return status == STATUS_RUNNING && entry.client.IsValid() && !HasReservedBit(entry.state) &&
         (HasBoundBit(entry.state) || HasOfferedBit(entry.state));
}

void OperatorPanel::Refresh() {
  OperatorReport fetched;
  known_ = service_.Fetch(fetched) == 0;
  report_ = known_ ? std::move(fetched) : OperatorReport{};
}

PoolUsageView OperatorPanel::Usage() const {
  return known_ ? MakePoolUsageView(report_.pool) : UnknownPoolUsageView();
}

bool OperatorPanel::AcknowledgeShown() {
  const RogueServer* shown = ShownRogueServer(report_.rogueServers);
  if (shown == nullptr) return false;
  const std::uint32_t id = shown->serverIdentifier;
  if (service_.Acknowledge(id) != 0) return false;
  for (RogueServer& server : report_.rogueServers) {
    if (server.serverIdentifier == id) server.acknowledged = true;
  }
  return true;
}

int OperatorPanel::Reserve(const LeaseEntry& entry) {
  return ReserveOutcomeMessage(service_.Reserve(entry.address, entry.client, HostName(entry)));
}

}  // namespace tamrix
