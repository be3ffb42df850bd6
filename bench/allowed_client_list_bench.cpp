// Cost of loading TAMRIX.db2 from memory (through the same loader the service uses, on a fake
// file system) and of asking whether a client is listed, for lists of office to campus size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "storage/allowed_client_list.h"
#include "tests/fakes/fake_file_system.h"

namespace {

using namespace tamrix;

constexpr const char* kWindowsDirectory = "/win";

// Client n's hardware address. Shuffled: the multiplier is odd, so every n still gets its own
// address, but the lines come in no useful order, as after hand edits and merged lists.
// Sorted: the order the control panel writes.
std::uint32_t AddressOf(std::uint32_t n, bool shuffled) {
  return shuffled ? n * 2654435761u : n;
}

std::string ListFile(std::uint32_t lines, bool shuffled) {
  std::string file;
  for (std::uint32_t n = 0; n < lines; ++n) {
    const std::uint32_t address = AddressOf(n, shuffled);
    char line[64];
    std::snprintf(line, sizeof line, "07,01,00,80,%02X,%02X,%02X,%02X,pc-%u\r\n", address >> 24,
                  (address >> 16) & 0xFF, (address >> 8) & 0xFF, address & 0xFF, n);
    file += line;
  }
  return file;
}

void Load(benchmark::State& state, bool shuffled) {
  testing::FakeFileSystem files;
  files.files[std::string(kWindowsDirectory) + "/" + std::string(kAllowedClientFileName)] =
      ListFile(static_cast<std::uint32_t>(state.range(0)), shuffled);
  AllowedClientList list;
  for (auto _ : state) {
    if (LoadAllowedClientList(files, kWindowsDirectory, list) != 0) state.SkipWithError("no file");
    benchmark::DoNotOptimize(list.entries().data());
  }
  if (list.entries().size() != static_cast<std::size_t>(state.range(0))) {
    state.SkipWithError("lines were lost");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));  // lines read
}

void BM_LoadShuffledList(benchmark::State& state) {
  Load(state, true);
}
BENCHMARK(BM_LoadShuffledList)
    ->Arg(10000)
    ->Arg(40000)
    ->Arg(100000)
    ->Arg(160000)
    ->Unit(benchmark::kMillisecond);

void BM_LoadSortedList(benchmark::State& state) {
  Load(state, false);
}
BENCHMARK(BM_LoadSortedList)
    ->Arg(10000)
    ->Arg(40000)
    ->Arg(100000)
    ->Arg(160000)
    ->Unit(benchmark::kMillisecond);

// An unlisted client is the costly answer for a lookup that walks the list. The list is built
// once per size, since the library runs this function more than once.
void BM_LookUpUnlistedClient(benchmark::State& state) {
  static std::map<std::int64_t, AllowedClientList> lists;
  auto [it, added] = lists.try_emplace(state.range(0));
  if (added)
    ParseAllowedClientList(ListFile(static_cast<std::uint32_t>(state.range(0)), true), it->second);
  const std::uint8_t mac[] = {0x00, 0x80, 0xFF, 0xFF, 0xFF, 0xFE};
  const ClientId unlisted = MakeClientId(1, mac, sizeof mac);
  if (it->second.IsAllowedClient(unlisted) != 0) state.SkipWithError("the client is listed");
  for (auto _ : state) benchmark::DoNotOptimize(it->second.IsAllowedClient(unlisted));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LookUpUnlistedClient)->Arg(100)->Arg(160000);

}  // namespace
