#pragma once

#include <map>

#include "platform/host_lookup.h"

namespace tamrix::testing {

class FakeHostLookup final : public HostLookup {
 public:
  std::vector<std::uint32_t> ThisHostAddresses() override {
    ++thisHostLookups;
    return thisHost;
  }
  std::uint32_t FirstAddressOf(const std::string& name) override {
    const auto it = names.find(name);
    return it == names.end() ? 0 : it->second;
  }

  std::vector<std::uint32_t> thisHost;
  std::map<std::string, std::uint32_t> names;
  int thisHostLookups = 0;
};

}  // namespace tamrix::testing
