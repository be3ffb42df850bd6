// TAMXNTs.exe: the DHCP server as a service of the machine's service manager; "-install" and
// "-uninstall" register and remove it.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "common/meeting_names.h"
#include "host/machine_engine.h"
#include "platform/machine_paths.h"
#include "platform/posix/detached_process.h"
#include "platform/posix/file_registry.h"
#include "platform/posix/posix_service_host.h"
#include "platform/posix/posix_service_manager.h"
#include "platform/posix/shutdown_signals.h"
#include "platform/posix/stderr_syslog_problem_log.h"
#include "platform/posix/syslog_event_log.h"
#include "platform/posix/system_clock.h"
#include "platform/process.h"
#include "service_nt/event_reporter.h"
#include "service_nt/nt_engine_operations.h"
#include "service_nt/nt_service_frame.h"

namespace {

using namespace tamrix;

constexpr const char* kEventSourceKey = meeting::kEventSourceKey;

// The message file setup registered for the event source, or the installation directory's.
std::string MessageFilePath(Registry& registry, const MachinePaths& paths) {
  ScopedRegistryKey key(registry);
  RegistryValue value;
  if (registry.OpenKey(HKEY_LOCAL_MACHINE, kEventSourceKey, KEY_READ, key.out()) == ERROR_SUCCESS &&
      registry.QueryValue(key.get(), "EventMessageFile", &value) == ERROR_SUCCESS &&
      (value.type == REG_SZ || value.type == REG_EXPAND_SZ)) {
    const std::string path = RegistryStringFrom(value.data);
    if (!path.empty()) return HostProgramPath(path);
  }
  return DefaultMessageFilePath(paths);
}

}  // namespace

int main(int argc, char** argv) {
  PrepareServerProcess();
  const MachinePaths paths = MachinePaths::FromEnvironment();
  FileRegistry registry(paths);
  // The event source is registered on every start of the program, the switches included.
  SyslogEventLog eventLog(MessageFilePath(registry, paths));
  EventReporter reporter(eventLog);

  PosixServiceManager manager(paths, registry);
  PosixServiceHost host(paths, registry);
  StderrSyslogProblemLog problems(meeting::kNtServiceName);
  std::optional<MachineEngine> machine;
  NtEngineOperations engine([&]() -> Engine& {
    if (!machine) machine.emplace(paths, reporter, problems);
    return machine->engine();
  });
  SystemClock clock;
  NtServiceFrame frame(
      NtFrameEnvironment{manager, host, engine, clock, OwnProgramPath, [](std::string_view text) {
                           std::fwrite(text.data(), 1, text.size(), stdout);
                           std::fflush(stdout);
                         }});
  // A service terminated by a signal (the machine going down, an operator's kill) stops as on
  // the shutdown control, so the lease database is written. Made before any thread starts.
  std::optional<ShutdownSignalWatcher> watcher;
  if (!NtServiceFrame::IsCommandSwitch(argc, argv)) {
    watcher.emplace([&frame] { frame.RequestShutdown(); });
  }
  return frame.Main(argc, argv);
}
