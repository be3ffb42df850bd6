#pragma once

#include "platform/host_lookup.h"

namespace tamrix {

// gethostname and getaddrinfo (IPv4 only), in the resolver's order.
class ResolverHostLookup final : public HostLookup {
 public:
  std::vector<std::uint32_t> ThisHostAddresses() override;
  std::uint32_t FirstAddressOf(const std::string& name) override;
};

}  // namespace tamrix
