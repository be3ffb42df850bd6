#pragma once

#include <mutex>
#include <string>

#include "platform/problem_log.h"

namespace tamrix {

// Standard error, each line prefixed with the program's name, and the system log at error level:
// whatever started the program (a terminal, a boot unit, a script) and the journal both see it.
class StderrSyslogProblemLog final : public ProblemLog {
 public:
  explicit StderrSyslogProblemLog(std::string programName) : programName_(std::move(programName)) {}
  void Report(std::string_view text) override;

 private:
  std::mutex mutex_;
  std::string programName_;
};

}  // namespace tamrix
