// Cost of one request through the handler, with the lease table on in-memory fakes (no sockets,
// no event log, a host lookup that answers at once).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/conflict_probe.h"
#include "engine/event_sink.h"
#include "engine/lease_table.h"
#include "engine/refusal_log.h"
#include "engine/request_processor.h"
#include "storage/allowed_client_list.h"
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

constexpr std::uint32_t kPoolStart = 0x0A000000;  // 10.0.0.0 .. 10.0.0.255: 256 addresses

std::vector<std::uint8_t> Packet(std::uint32_t clientNumber, std::uint8_t type,
                                 std::uint32_t requested) {
  std::vector<std::uint8_t> p(300, 0);
  p[0] = 1;
  p[1] = 1;
  p[2] = 6;
  p[28 + 2] = static_cast<std::uint8_t>(clientNumber >> 24);
  p[28 + 3] = static_cast<std::uint8_t>(clientNumber >> 16);
  p[28 + 4] = static_cast<std::uint8_t>(clientNumber >> 8);
  p[28 + 5] = static_cast<std::uint8_t>(clientNumber);
  const std::uint8_t cookie[] = {99, 130, 83, 99};
  std::copy(std::begin(cookie), std::end(cookie), p.begin() + 236);
  std::size_t i = 240;
  const std::uint8_t options[] = {53, 1, type, 12, 4, 'h', 'o', 's', 't', 55, 5, 1, 3, 6, 15, 44};
  for (const std::uint8_t b : options) p[i++] = b;
  if (requested != 0) {
    p[i++] = 50;
    p[i++] = 4;
    for (int shift = 24; shift >= 0; shift -= 8)
      p[i++] = static_cast<std::uint8_t>(requested >> shift);
  }
  p[i] = 255;
  return p;
}

struct Server {
  testing::FakeClock clock;
  testing::FakeHostLookup hosts;
  testing::FakeFileSystem files;
  NullEventSink events;
  SilentProbe probe;
  ServerSettings settings;
  AllowedClientList allowed;
  LeaseTable table{{clock, hosts, files, events, probe, settings, "/db", false}};
  RefusalLog refusals{clock};
  RequestProcessor processor{table, settings, allowed, events, refusals};

  Server() {
    hosts.thisHost = {0x0B000001, kPoolStart + 255};
    LeaseTableSettings s;
    s.StartIPAddr = "10.0.0.0";
    s.EndIPAddr = "10.0.0.255";
    s.SubnetMask = "255.255.0.0";
    s.Gateway = "10.0.255.254";
    s.DNSAddr1 = "10.0.255.253";
    s.DomainName = "example";
    s.LeaseTime = 3600;
    if (table.LeaseTableInit(s) != 0) std::abort();
  }
  // Binds the lowest `count` addresses to clients 1..count.
  void Fill(std::uint32_t count) {
    for (std::uint32_t n = 1; n <= count; ++n) {
      if (!processor.HandleRequest(Packet(n, 3, kPoolStart + n - 1))) std::abort();
    }
  }
};

void BM_Discover(benchmark::State& state) {
  Server server;
  server.Fill(static_cast<std::uint32_t>(state.range(0)));
  const auto discover = Packet(100000, 1, 0);
  for (auto _ : state) benchmark::DoNotOptimize(server.processor.HandleRequest(discover));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Discover)->Arg(0)->Arg(250);

void BM_Request(benchmark::State& state) {
  Server server;
  server.Fill(static_cast<std::uint32_t>(state.range(0)));
  const auto request = Packet(100000, 3, kPoolStart + 252);
  for (auto _ : state) benchmark::DoNotOptimize(server.processor.HandleRequest(request));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Request)->Arg(0)->Arg(250);

// A new client each time takes one of the last free addresses of a nearly full pool; the
// address is released straight in the table afterwards so the pool stays nearly full.
void BM_DiscoverRequestNearlyFull(benchmark::State& state) {
  Server server;
  server.Fill(250);
  std::uint32_t client = 1000;
  for (auto _ : state) {
    const auto offer = server.processor.HandleRequest(Packet(client, 1, 0));
    const std::uint32_t address = offer->reportedAddress;
    benchmark::DoNotOptimize(server.processor.HandleRequest(Packet(client, 3, address)));
    const std::uint8_t mac[] = {0,
                                0,
                                static_cast<std::uint8_t>(client >> 24),
                                static_cast<std::uint8_t>(client >> 16),
                                static_cast<std::uint8_t>(client >> 8),
                                static_cast<std::uint8_t>(client)};
    server.table.ReleaseAddress(address, MakeClientId(1, mac, sizeof mac));
    ++client;
  }
  state.SetItemsProcessed(2 * state.iterations());  // requests handled
}
BENCHMARK(BM_DiscoverRequestNearlyFull);

}  // namespace
