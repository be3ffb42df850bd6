#pragma once

#include <string_view>

namespace tamrix {

// Where a program tells the administrator, in words, what keeps it from doing its job: a start
// that fails, a lease database that cannot be read or written. This is not the event log, whose
// entries are the fixed ones the operator enabled; these are always said.
class ProblemLog {
 public:
  virtual ~ProblemLog() = default;
  virtual void Report(std::string_view text) = 0;
};

// Says nothing; for the parts of tests that do not look.
ProblemLog& SilentProblemLog();

}  // namespace tamrix
