// tamrix-leases: the running server's lease table as another process sees it through the shared
// block, and the operator's release of one address.
//
//   tamrix-leases [--all]                  rows of the table (free entries only with --all)
//   tamrix-leases release ADDRESS CLIENT   frees ADDRESS held by CLIENT ("01:00A0C9123456")
#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/address.h"
#include "service_95/tools/lease_listing.h"
#include "status/status_client.h"

namespace {

int Usage() {
  std::fputs("usage: tamrix-leases [--all] | release ADDRESS CLIENT-ID\n", stderr);
  return 2;
}

int List(bool all) {
  std::array<tamrix::LeaseEntry, tamrix::StatusBlock::kSlotCount> entries{};
  const int count = tamrix::FetchLeaseSnapshot(entries);
  if (count <= 0) {
    std::fputs("tamrix-leases: the server does not answer (not running?)\n", stderr);
    return 1;
  }
  std::puts(tamrix::LeaseHeaderRow().c_str());
  for (int i = 0; i < count; ++i) {
    if (!all && entries[i].state == tamrix::LEASE_FREE) continue;
    std::puts(tamrix::FormatLeaseRow(entries[i]).c_str());
  }
  return 0;
}

int Release(std::string_view addressText, std::string_view clientText) {
  const std::uint32_t address = tamrix::ParseAddress(addressText);
  const auto client = tamrix::ParseClientIdForm(clientText);
  if (address == 0 || address == tamrix::kAddressNone || !client) return Usage();
  if (tamrix::RequestRelease(address, *client) != 0) {
    std::fputs("tamrix-leases: the address was not released\n", stderr);
    return 1;
  }
  std::printf("released %s\n", tamrix::FormatAddress(address).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) return List(false);
  const std::string_view first = argv[1];
  if (argc == 2 && first == "--all") return List(true);
  if (argc == 4 && first == "release") return Release(argv[2], argv[3]);
  return Usage();
}
