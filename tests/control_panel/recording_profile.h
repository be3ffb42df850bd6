#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/private_profile.h"

namespace tamrix::testing {

// Keys in memory, with every read and write recorded in order.
class RecordingProfile final : public PrivateProfile {
 public:
  std::string GetString(std::string_view, std::string_view key,
                        std::string_view fallback) override {
    reads.emplace_back(key);
    const auto it = values.find(std::string(key));
    return it == values.end() ? std::string(fallback) : it->second;
  }
  int GetInt(std::string_view, std::string_view key, int fallback) override {
    reads.emplace_back(key);
    const auto it = values.find(std::string(key));
    return it == values.end() ? fallback : std::stoi(it->second);
  }
  bool WriteString(std::string_view, std::string_view key, std::string_view value) override {
    writes.emplace_back(key);
    values[std::string(key)] = std::string(value);
    return true;
  }

  std::map<std::string, std::string> values;
  std::vector<std::string> reads, writes;
};

}  // namespace tamrix::testing
