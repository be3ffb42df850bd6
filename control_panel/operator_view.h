#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/lease_entry.h"
#include "common/operator_report.h"
#include "control_panel/operator_service.h"
#include "control_panel/service_control.h"

namespace tamrix {

// The operator's view of the running service: how full the pool is, which requests went
// unserved and why, and whether another DHCP server answers on the segment. Texts are UTF-8.

enum class PoolWarning { kNone, kLow, kExhausted };

// What the pool bar and the lines under it show.
struct PoolUsageView {
  bool known = false;  // false: no report came, the bar stays empty
  int used = 0;        // every address that is not free
  int total = 0;
  std::string barText;
  std::string numbers;
  PoolWarning warning = PoolWarning::kNone;
  std::string warningText;
};
// Low when fewer than one address in ten is free (one in ten exactly is not yet low);
// exhausted when none is.
PoolUsageView MakePoolUsageView(const PoolUsage& usage);
PoolUsageView UnknownPoolUsageView();

// A short name for the list and one line on what the operator can do, per reason; a number
// this panel does not know gets a name that says so and no advice.
std::string_view RefusalReasonText(RefusalReason reason);
std::string_view RefusalAdvice(RefusalReason reason);

// A client whose identifier is a DUID: it is refused until it identifies by its hardware
// address, which these two settings make it do.
bool IsDuidRefusal(const Refusal& refusal);
inline constexpr std::array<std::string_view, 2> kDuidClientSettings = {
    "dhcpcd: dhcpcd.conf の duid を clientid に替える（または dhcpcd --clientid で起動する）",
    "systemd-networkd: .network ﾌｧｲﾙの [DHCPv4] に ClientIdentifier=mac を書く",
};

// "YYYY/MM/DD hh:mm:ss", client id, host name, reason; tab-separated.
std::string RefusalLineText(const Refusal& refusal);
// The counts since the service started, by reason.
std::string RefusalCountsText(const OperatorReport& report, bool known);
// An empty filter takes everything; otherwise a part of the host name (letters in either case),
// or hexadecimal digits found in the client id however the operator separates them
// (00-A0-C9-12-34-56, 00:a0:c9, 00A0C9).
bool MatchesClientFilter(const Refusal& refusal, std::string_view filter);

// The refusal window's list: newest first, narrowed by the client filter.
class RefusalListing {
 public:
  explicit RefusalListing(std::vector<Refusal> refusals) : refusals_(std::move(refusals)) {}

  // The lines of the refusals that pass the filter; rows map to them until the next call.
  std::vector<std::string> Filter(std::string_view filter);
  // The refusal behind a row of the last filter; null for a row that does not exist.
  const Refusal* AtRow(int row) const;

 private:
  std::vector<Refusal> refusals_;  // oldest first, as the service sends them
  std::vector<std::size_t> rows_;
};

// The alarm names the first server heard that nobody has acknowledged; empty text for none.
const RogueServer* ShownRogueServer(const std::vector<RogueServer>& servers);
std::string RogueWarningText(const std::vector<RogueServer>& servers);

// The message a reservation's outcome shows; 0 when the lease is now reserved.
int ReserveOutcomeMessage(ReserveOutcome outcome);
// Only a dynamic lease of a client (offered, bound, or in grace after expiry) can become a
// reservation, and only a running service can make it one.
bool ReserveAllowed(const LeaseEntry& entry, ServiceStatus status);

// The main window's hold on the operator report: fetched once per refresh, and the two
// requests the window makes of the service.
class OperatorPanel {
 public:
  explicit OperatorPanel(OperatorService& service) : service_(service) {}

  // A service that does not answer leaves no report: nothing stale is shown.
  void Refresh();
  bool known() const { return known_; }
  const OperatorReport& report() const { return report_; }
  PoolUsageView Usage() const;
  std::string RogueWarning() const { return RogueWarningText(report_.rogueServers); }

  // Acknowledges the server the alarm names; true when the service took it. The alarm then
  // moves on to the next server without another fetch.
  bool AcknowledgeShown();
  // The outcome's message, 0 when the lease is now a reservation.
  int Reserve(const LeaseEntry& entry);

 private:
  OperatorService& service_;
  OperatorReport report_;
  bool known_ = false;
};

}  // namespace tamrix
