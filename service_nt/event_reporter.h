#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "common/client_id.h"
#include "common/event_ids.h"
#include "engine/engine_reporter.h"
#include "platform/event_log.h"

namespace tamrix {

inline constexpr const char* kEventSourceName = "TAMXNTs";

// The entry type an identifier's top two bits name: 01 information, 10 warning, 11 error,
// 00 success.
EventType EventTypeOf(std::uint32_t identifier);

// The sixteen report operations, each taking exactly the values its event carries.
class ReportOperations : public EngineReporter {
 public:
  void Report(EventId id, const ClientId* client, std::optional<std::uint32_t> address) override {
    Emit(id, client, address);
  }

  int ReportServerStart() { return Emit(EV_SERVER_START, nullptr, std::nullopt); }
  int ReportServerStop() { return Emit(EV_SERVER_STOP, nullptr, std::nullopt); }
  int ReportDiscover(const ClientId& c) { return Emit(EV_DISCOVER, &c, std::nullopt); }
  int ReportOffer(const ClientId& c, std::uint32_t a) { return Emit(EV_OFFER, &c, a); }
  int ReportRequest(const ClientId& c, std::uint32_t a) { return Emit(EV_REQUEST, &c, a); }
  int ReportDecline(const ClientId& c, std::uint32_t a) { return Emit(EV_DECLINE, &c, a); }
  int ReportAck(const ClientId& c, std::uint32_t a) { return Emit(EV_ACK, &c, a); }
  int ReportNak(const ClientId& c, std::uint32_t a) { return Emit(EV_NAK, &c, a); }
  int ReportRelease(const ClientId& c, std::uint32_t a) { return Emit(EV_RELEASE, &c, a); }
  int ReportInform(const ClientId& c, std::uint32_t a) { return Emit(EV_INFORM, &c, a); }
  int ReportBootpRequest(const ClientId& c, std::uint32_t a) { return Emit(EV_BOOTP_REQUEST, &c, a); }
  int ReportBootpReply(const ClientId& c, std::uint32_t a) { return Emit(EV_BOOTP_REPLY, &c, a); }
  int ReportLeaseExpired(const ClientId& c, std::uint32_t a) { return Emit(EV_LEASE_EXPIRED, &c, a); }
  int ReportClientRejected(const ClientId& c) { return Emit(EV_CLIENT_REJECTED, &c, std::nullopt); }
  int ReportAddressConflict(std::uint32_t a) { return Emit(EV_ADDRESS_CONFLICT, nullptr, a); }
  int ReportNoAddress() { return Emit(EV_NO_ADDRESS, nullptr, std::nullopt); }

 protected:
  virtual int Emit(EventId id, const ClientId* client, std::optional<std::uint32_t> address) = 0;
};

// The NT service's reporter: writes an entry for each report while enabled. The insertion
// strings are formatted per call, so reports from the server, maintenance and control threads
// never borrow each other's text.
class EventReporter final : public ReportOperations {
 public:
  explicit EventReporter(EventLog& log);  // opens the source "TAMXNTs"; reports start disabled

  void SetReportsEnabled(bool enabled) override { enabled_.store(enabled); }
  bool ReportsEnabled() const { return enabled_.load(); }
  int CloseEventSource() override;

 protected:
  int Emit(EventId id, const ClientId* client, std::optional<std::uint32_t> address) override;

 private:
  EventLog& log_;
  std::atomic<bool> enabled_{false};
  std::atomic<bool> sourceOpen_{false};
};

// The 95 host's reporter: there is no event log there, so every operation does nothing and
// answers success.
class InertEventReporter final : public ReportOperations {
 public:
  void SetReportsEnabled(bool) override {}
  int CloseEventSource() override { return 1; }

 protected:
  int Emit(EventId, const ClientId*, std::optional<std::uint32_t>) override { return 1; }
};

}  // namespace tamrix
