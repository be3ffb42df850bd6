#pragma once

#include <cstdint>
#include <string_view>

#include "common/client_id.h"
#include "common/operator_report.h"

namespace tamrix {

// The control panel's side of the running service's operator endpoint, on this machine
// (TAMRIX_SYSROOT decides which machine). No call waits longer than a few seconds in all.

// 0 and the report; -1 when the service is not running or did not answer in time.
int FetchOperatorReport(OperatorReport& out);
// Turns the lease the client holds at that address into a reservation of the running service.
ReserveOutcome RequestReservation(std::uint32_t address, const ClientId& client,
                                  std::string_view hostName);
// 0 when the service now counts the server as acknowledged; -1 otherwise.
int AcknowledgeRogueServer(std::uint32_t serverIdentifier);

}  // namespace tamrix
