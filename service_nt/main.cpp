// TAMXNTs.exe: the DHCP server as a service of the machine's service manager; "-install" and
// "-uninstall" register and remove it.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "common/meeting_names.h"
#include "platform/machine_paths.h"
#include "platform/posix/detached_process.h"
#include "platform/posix/file_registry.h"
#include "platform/posix/posix_service_host.h"
#include "platform/posix/posix_service_manager.h"
#include "platform/posix/stderr_syslog_problem_log.h"
#include "platform/posix/syslog_event_log.h"
#include "platform/posix/system_clock.h"
#include "service_nt/event_reporter.h"
#include "service_nt/nt_machine_engine.h"
#include "service_nt/nt_service_frame.h"
#include "service_nt/shutdown_signal.h"

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

int OwnPath(std::string* path) {
  char buffer[4096];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length < 0) return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
  if (static_cast<std::size_t>(length) >= sizeof buffer) return ERROR_INSUFFICIENT_BUFFER;
  path->assign(buffer, static_cast<std::size_t>(length));
  return ERROR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  const MachinePaths paths = MachinePaths::FromEnvironment();
  FileRegistry registry(paths);
  // The event source is registered on every start of the program, the switches included.
  SyslogEventLog eventLog(MessageFilePath(registry, paths));
  EventReporter reporter(eventLog);

  PosixServiceManager manager(paths, registry);
  PosixServiceHost host(paths, registry);
  StderrSyslogProblemLog problems(meeting::kNtServiceName);
  NtMachineEngine engine(paths, reporter, problems);
  SystemClock clock;
  NtServiceFrame frame(
      NtFrameEnvironment{manager, host, engine, clock, OwnPath, [](std::string_view text) {
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
