// tamrix-operator-driver: what the control panel reads and asks of the running server through its
// operator endpoint, on this machine (TAMRIX_SYSROOT), as lines a test script can check:
//   tamrix-operator-driver report
//       pool LEASED OFFERED RESERVED DISABLED FREE
//       count REASON N                         (reasons 1 to 7)
//       refusal REASON CLIENT TIME HOST        (oldest first)
//       rogue ADDRESS HARDWARE FIRST-SEEN acknowledged|new
//   tamrix-operator-driver reserve ADDRESS CLIENT [HOST]    prints "reserve OUTCOME"
//   tamrix-operator-driver acknowledge ADDRESS
// Exit 0 when the server answered (reserve: reserved; acknowledge: acknowledged), 1 otherwise,
// 2 on misuse.
#include <cstdio>
#include <string>
#include <string_view>

#include "common/address.h"
#include "service_95/tools/lease_listing.h"
#include "status/operator_client.h"

namespace tamrix {
namespace {

int Report() {
  OperatorReport report;
  if (FetchOperatorReport(report) != 0) return 1;
  const PoolUsage& p = report.pool;
  std::printf("pool %d %d %d %d %d\n", p.leased, p.offered, p.reserved, p.disabled, p.free);
  for (std::uint32_t reason = 1; reason <= kRefusalReasonCount; ++reason) {
    std::printf("count %u %u\n", reason, report.refusalCounts[reason]);
  }
  for (const Refusal& r : report.recentRefusals) {
    std::printf("refusal %u %s %d %s\n", static_cast<unsigned>(r.reason),
                FormatClientId(r.client).c_str(), r.time, r.hostName.c_str());
  }
  for (const RogueServer& s : report.rogueServers) {
    const auto& h = s.hardwareAddress;
    std::printf("rogue %s %02x:%02x:%02x:%02x:%02x:%02x %d %s\n",
                FormatAddress(s.serverIdentifier).c_str(), h[0], h[1], h[2], h[3], h[4], h[5],
                s.firstSeen, s.acknowledged ? "acknowledged" : "new");
  }
  return 0;
}

int Reserve(std::string_view addressText, std::string_view clientText, std::string_view host) {
  const std::uint32_t address = ParseAddress(addressText);
  const auto client = ParseClientIdForm(clientText);
  if (address == 0 || address == kAddressNone || !client) return 2;
  const ReserveOutcome outcome = RequestReservation(address, *client, host);
  std::printf("reserve %d\n", static_cast<int>(outcome));
  return outcome == ReserveOutcome::kReserved ? 0 : 1;
}

}  // namespace
}  // namespace tamrix

int main(int argc, char** argv) {
  using namespace tamrix;
  const std::string action = argc > 1 ? argv[1] : "";
  if (action == "report" && argc == 2) return Report();
  if (action == "reserve" && (argc == 4 || argc == 5)) {
    return Reserve(argv[2], argv[3], argc == 5 ? argv[4] : "");
  }
  if (action == "acknowledge" && argc == 3) {
    const std::uint32_t address = ParseAddress(argv[2]);
    if (address == 0 || address == kAddressNone) return 2;
    return AcknowledgeRogueServer(address) == 0 ? 0 : 1;
  }
  std::fputs("usage: tamrix-operator-driver report | reserve ADDRESS CLIENT [HOST] | "
             "acknowledge ADDRESS\n", stderr);
  return 2;
}
