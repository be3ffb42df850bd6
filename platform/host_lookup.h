#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tamrix {

// Name resolution as the engine needs it. Addresses are IPv4, host byte order.
class HostLookup {
 public:
  virtual ~HostLookup() = default;
  // This host's name looked up, in the order the resolver lists them; empty on failure.
  virtual std::vector<std::uint32_t> ThisHostAddresses() = 0;
  // A host name or dotted address to its first IPv4 address; 0 when it does not resolve.
  virtual std::uint32_t FirstAddressOf(const std::string& name) = 0;
};

}  // namespace tamrix
