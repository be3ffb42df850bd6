#pragma once

#include <cstdint>
#include <string_view>

#include "common/client_id.h"
#include "common/operator_report.h"

namespace tamrix {

// The running service's operator side as the panel sees it: the report behind the pool bar,
// the refusal list and the other-server alarm, and the two requests the operator can make.
// Every call is bounded by the service's client (a few seconds at most); tests give a fake.
class OperatorService {
 public:
  virtual ~OperatorService() = default;
  // 0 and the report; -1 when the service is not running or did not answer in time.
  virtual int Fetch(OperatorReport& out) = 0;
  // Turns the lease the client holds at the address into a reservation. The host name is the
  // lease's own bytes (cp932).
  virtual ReserveOutcome Reserve(std::uint32_t address, const ClientId& client,
                                 std::string_view hostName) = 0;
  // 0 when the service now counts the server as acknowledged; -1 otherwise.
  virtual int Acknowledge(std::uint32_t serverIdentifier) = 0;
};

// A service that never answers: what a window built without an operator channel talks to.
class AbsentOperatorService final : public OperatorService {
 public:
  int Fetch(OperatorReport&) override { return -1; }
  ReserveOutcome Reserve(std::uint32_t, const ClientId&, std::string_view) override {
    return ReserveOutcome::kNoService;
  }
  int Acknowledge(std::uint32_t) override { return -1; }
};

// One shared instance, for contexts that are not given a real channel.
inline OperatorService& NoOperatorService() {
  static AbsentOperatorService absent;
  return absent;
}

}  // namespace tamrix
