// TAMRIXs.exe: the DHCP server as a background process controlled through its window.
#include <signal.h>

#include <cstring>
#include <iostream>

#include "platform/machine_paths.h"
#include "platform/posix/posix_window_system.h"
#include "service_95/engine_control.h"
#include "service_95/message_loop.h"
#include "service_95/service_frame.h"
#include "service_95/session.h"
#include "service_nt/event_reporter.h"
#include "service_nt/machine_engine.h"

int main() {  // the command line is ignored
  using namespace tamrix;
  // Before any thread exists, so that only the loop's signalfd sees a shutdown.
  BlockShutdownSignals();
  signal(SIGPIPE, SIG_IGN);

  const MachinePaths paths = MachinePaths::FromEnvironment();
  PosixWindowSystem windows(paths);
  InertEventReporter reporter;  // no event log on this host
  MachineEngine machine(paths, reporter);
  EngineControl engine(machine.engine());
  SessionDetach session;
  SignalShutdownNotice shutdown;

  ServiceFrame frame(windows, engine, session,
                     [](std::string_view text) { std::cerr << text << std::endl; });
  if (!frame.Launch()) {
    // A server that cannot have port 67 serves nobody; say why, as nothing else will.
    if (const int error = machine.engine().LastSocketError(); error != 0) {
      std::cerr << "TAMRIXs: UDP port 67: " << std::strerror(error) << std::endl;
    }
    return 0;
  }
  return RunMessageLoop(frame, shutdown);
}
