#include "platform/posix/resolver_host_lookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace tamrix {
namespace {

struct AddrInfoDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

std::vector<std::uint32_t> Resolve(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* raw = nullptr;
  if (name.empty() || getaddrinfo(name.c_str(), nullptr, &hints, &raw) != 0) return {};
  std::unique_ptr<addrinfo, AddrInfoDeleter> list(raw);
  std::vector<std::uint32_t> addresses;
  for (const addrinfo* ai = list.get(); ai != nullptr; ai = ai->ai_next) {
    const auto* sin = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
    const std::uint32_t address = ntohl(sin->sin_addr.s_addr);
    if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
      addresses.push_back(address);
    }
  }
  return addresses;
}

}  // namespace

std::vector<std::uint32_t> ResolverHostLookup::ThisHostAddresses() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return Resolve(name);
}

std::uint32_t ResolverHostLookup::FirstAddressOf(const std::string& name) {
  const std::vector<std::uint32_t> addresses = Resolve(name);
  return addresses.empty() ? 0 : addresses.front();
}

}  // namespace tamrix
