// TAMRIXs.exe: the DHCP server as a background process controlled through its window.
#include <iostream>

#include "common/meeting_names.h"
#include "host/machine_engine.h"
#include "platform/machine_paths.h"
#include "platform/posix/posix_window_system.h"
#include "platform/posix/shutdown_signals.h"
#include "platform/posix/stderr_syslog_problem_log.h"
#include "platform/process.h"
#include "service_95/engine_control.h"
#include "service_95/message_loop.h"
#include "service_95/service_frame.h"
#include "service_95/session.h"

int main() {  // the command line is ignored
  using namespace tamrix;
  // Before any thread exists, so that only the loop's notice sees a shutdown.
  BlockShutdownSignals();
  PrepareServerProcess();

  const MachinePaths paths = MachinePaths::FromEnvironment();
  PosixWindowSystem windows(paths);
  InertEventReporter reporter;  // no event log on this host
  StderrSyslogProblemLog problems(meeting::k95ServiceName);
  MachineEngine machine(paths, reporter, problems);
  EngineControl engine(machine.engine());
  SessionDetach session;
  SignalShutdownNotice shutdown;

  ServiceFrame frame(windows, engine, session,
                     [](std::string_view text) { std::cerr << text << std::endl; });
  if (!frame.Launch()) {
    // Another copy serving is what was asked for; anything else is a failure whoever started
    // this program must learn of. The engine has said why it refused.
    if (frame.AnotherCopyRuns()) return 0;
    if (machine.engine().StartProblem().empty()) {
      problems.Report("cannot start: the window " + std::string(kServiceWindowTitle) +
                      " cannot be created in " + paths.RunDirectory());
    }
    return 1;
  }
  return RunMessageLoop(frame, shutdown);
}
