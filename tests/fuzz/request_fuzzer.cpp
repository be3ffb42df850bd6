// Feeds arbitrary datagrams to the request handler on a small pool. The first byte picks the
// server's switches; the rest is a sequence of datagrams, each with a two-byte length, handled
// in order on the same table so that whole exchanges (offer, then request) are reached.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "engine/conflict_probe.h"
#include "engine/event_sink.h"
#include "engine/lease_table.h"
#include "engine/refusal_log.h"
#include "engine/request_processor.h"
#include "storage/allowed_client_list.h"
#include "storage/lease_database.h"
#include "storage/server_settings.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_file_system.h"
#include "tests/fakes/fake_host_lookup.h"

namespace {

using namespace tamrix;

class NullEventSink final : public EventSink {
 public:
  void Report(EventId, const ClientId*, std::optional<std::uint32_t>) override {}
};

// Every reply must be a well-formed option list that ends inside the buffer.
void CheckReply(const Reply& reply) {
  const auto& b = reply.bytes;
  std::size_t i = dhcp_offset::kOptions;
  while (i < b.size() && b[i] != dhcp_option::kEnd) {
    if (i + 1 >= b.size()) std::abort();
    i += 2 + b[i + 1];
  }
  if (i >= b.size()) std::abort();
}

LeaseTableSettings Pool(bool unlimited) {
  LeaseTableSettings s;
  s.StartIPAddr = "10.0.0.1";
  s.EndIPAddr = "10.0.0.8";
  s.SubnetMask = "255.255.255.0";
  s.Gateway = "10.0.0.254";
  s.DNSAddr1 = "10.0.0.253";
  s.DNSAddr2 = "10.0.0.252";
  s.DomainName = std::string(255, 'd');
  s.WINSAddr1 = "10.0.0.251";
  s.ScopeID = std::string(255, 's');
  s.LeaseTime = unlimited ? -1 : 60;
  s.NTP = "ntp";
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t switches = data[0];
  testing::FakeClock clock;
  testing::FakeHostLookup hosts;
  testing::FakeFileSystem files;
  NullEventSink events;
  SilentProbe probe;
  hosts.thisHost = {0x0A0000FE};
  hosts.names["ntp"] = 0x0A0000FD;
  ServerSettings settings;
  settings.CheckClient = switches & 1;
  settings.OptNACK = (switches >> 1) & 1;
  settings.OptSrvAddr = (switches >> 2) & 1;
  settings.OptDHCPINFORM = (switches >> 3) & 1;
  AllowedClientList allowed;
  const std::uint8_t mac[] = {0, 1, 2, 3, 4, 5};
  allowed.InsertAllowedClient(MakeClientId(1, mac, sizeof mac));
  LeaseEntry reserved;
  reserved.state = LEASE_RESERVED;
  reserved.address = 0x0A000008;
  reserved.client = MakeClientId(1, mac, sizeof mac);
  SetHostName(reserved, "reserved-host");
  files.files["/db"] = FormatLeaseDatabase(0x0A000001, 0x0A000008, std::span(&reserved, 1));

  LeaseTable table({clock, hosts, files, events, probe, settings, "/db", false});
  if (table.LeaseTableInit(Pool((switches >> 4) & 1)) != 0) std::abort();
  RefusalLog refusals(clock);
  RequestProcessor processor(table, settings, allowed, events, refusals);

  std::size_t offset = 1;
  for (int datagrams = 0; offset < size && datagrams < 8; ++datagrams) {
    std::size_t length = size - offset;
    if (length >= 2) {
      length = std::min<std::size_t>((std::size_t{data[offset]} << 8) | data[offset + 1],
                                     size - offset - 2);
      offset += 2;
    }
    const auto reply = processor.HandleRequest(std::span(data + offset, length));
    if (reply) {
      CheckReply(*reply);
      processor.ReportSent(*reply);
    }
    offset += length;
    clock.Advance(1);
  }
  return 0;
}
