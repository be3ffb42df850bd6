#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/problem_log.h"

namespace tamrix::testing {

class RecordingProblemLog final : public ProblemLog {
 public:
  void Report(std::string_view text) override {
    std::lock_guard lock(mutex_);
    lines.emplace_back(text);
  }
  std::string All() const {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
  }

  std::vector<std::string> lines;

 private:
  std::mutex mutex_;
};

}  // namespace tamrix::testing
