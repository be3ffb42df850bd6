#include "platform/posix/stderr_syslog_problem_log.h"

#include <syslog.h>

#include <cstdio>

namespace tamrix {

ProblemLog& SilentProblemLog() {
  class Silent final : public ProblemLog {
   public:
    void Report(std::string_view) override {}
  };
  static Silent silent;
  return silent;
}

void StderrSyslogProblemLog::Report(std::string_view text) {
  const std::string line(text);
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "%s: %s\n", programName_.c_str(), line.c_str());
  std::fflush(stderr);
  ::syslog(LOG_DAEMON | LOG_ERR, "%s", line.c_str());
}

}  // namespace tamrix
