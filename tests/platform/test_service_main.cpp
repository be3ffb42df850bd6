// A tiny service for the service manager tests: it answers every control the way the system's
// service frame does and leaves traces in its machine's root so tests can see what it saw.
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/machine_paths.h"
#include "platform/posix/file_registry.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_service_host.h"

namespace {

using namespace tamrix;

MachinePaths g_paths;
ServiceHost* g_host = nullptr;
ServiceStatusHandle g_handle = 0;
std::mutex g_mutex;
std::condition_variable g_changed;
bool g_stop = false;
bool g_paused = false;

void Report(std::uint32_t state, std::uint32_t checkPoint = 0, std::uint32_t waitHint = 0) {
  ServiceStatusReport status;
  status.currentState = state;
  status.controlsAccepted = state == SERVICE_START_PENDING ? 0 : 7;
  status.checkPoint = checkPoint;
  status.waitHint = waitHint;
  g_host->SetServiceStatus(g_handle, status);
}

void Trace(const std::string& name, const std::string& text) {
  PosixFileSystem files;
  files.ReplaceFile(g_paths.root + "/" + name, text);
}

void Handler(std::uint32_t control) {
  std::lock_guard lock(g_mutex);
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Trace("last-control", std::to_string(control));
      Report(SERVICE_STOP_PENDING, 1, 5000);
      g_stop = true;
      g_changed.notify_all();
      return;
    case SERVICE_CONTROL_PAUSE:
      Report(SERVICE_PAUSE_PENDING, 1, 1000);
      g_paused = true;
      Report(SERVICE_PAUSED);
      return;
    case SERVICE_CONTROL_CONTINUE:
      Report(SERVICE_CONTINUE_PENDING, 1, 1000);
      g_paused = false;
      Report(SERVICE_RUNNING);
      return;
    default:
      Report(g_paused ? SERVICE_PAUSED : SERVICE_RUNNING);
      return;
  }
}

void Main(int argc, char** argv) {
  g_handle = g_host->RegisterControlHandler(argc > 0 ? argv[0] : "", Handler);
  if (g_handle == 0) return;
  Report(SERVICE_START_PENDING, 1, 5000);
  const char* root = std::getenv("TAMRIX_SYSROOT");
  Trace("service-ran", std::string(root != nullptr ? root : "") + " " + argv[0]);
  Report(SERVICE_RUNNING);
  std::unique_lock lock(g_mutex);
  g_changed.wait(lock, [] { return g_stop; });
  Report(SERVICE_STOPPED);
}

}  // namespace

int main() {
  g_paths = MachinePaths::FromEnvironment();
  FileRegistry registry(g_paths);
  PosixServiceHost host(g_paths, registry);
  g_host = &host;
  const int result = host.StartDispatcher("TamrixTestService", Main);
  if (result != ERROR_SUCCESS) {
    Trace("dispatcher-error", std::to_string(result));
    std::printf("Error #%d In StartServiceCtrlDispatcher\n", result);
    return result;
  }
  return 0;
}
