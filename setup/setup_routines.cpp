#include "setup/setup_routines.h"

#include "setup/setup_texts.h"

namespace tamrix {
namespace {

constexpr int kFirstCloseWaitMs = 1000;
constexpr int kCloseRetryWaitMs = 50;
constexpr int kCloseRetries = 100;
constexpr int kStopGraceMs = 500;
// A service that has not stopped after the grace period is waited for a while longer, polled at
// this interval: deleting it while it still runs only marks it, and an installation that follows
// could not register it again, nor could an uninstallation remove the database it writes last.
constexpr int kStopPollMs = 250;
constexpr int kStopPolls = 40;

void WaitUntilStopped(SetupEnvironment& env, ServiceHandle service) {
  for (int poll = 0; poll < kStopPolls; ++poll) {
    ServiceStatusReport status;
    if (env.services.QueryServiceStatus(service, &status) != ERROR_SUCCESS ||
        status.currentState == SERVICE_STOPPED) {
      return;
    }
    env.clock.SleepMilliseconds(kStopPollMs);
  }
}

int RegisterService(SetupEnvironment& env, ServiceHandle manager, const std::string& programPath) {
  ServiceConfig config;
  config.name = setup_text::kNtServiceName;
  config.displayName = setup_text::kNtServiceDisplayName;
  config.serviceType = SERVICE_WIN32_OWN_PROCESS;
  config.startType = SERVICE_DEMAND_START;
  config.errorControl = SERVICE_ERROR_NORMAL;
  config.imagePath = programPath;
  ServiceHandle service = 0;
  if (env.services.CreateService(manager, config, SERVICE_ALL_ACCESS, &service) != ERROR_SUCCESS) {
    return 0;
  }
  env.services.CloseServiceHandle(service);
  return 1;
}

int RemoveService(SetupEnvironment& env, ServiceHandle manager) {
  ServiceHandle service = 0;
  if (env.services.OpenService(manager, std::string(setup_text::kNtServiceName), SERVICE_ALL_ACCESS,
                               &service) != ERROR_SUCCESS) {
    return 0;
  }
  int result = 0;
  ServiceStatusReport status;
  if (env.services.QueryServiceStatus(service, &status) == ERROR_SUCCESS) {
    if (status.currentState == SERVICE_STOPPED) {
      result = env.services.DeleteService(service) == ERROR_SUCCESS ? 1 : 0;
    } else if (env.services.ControlService(service, SERVICE_CONTROL_STOP, &status) ==
               ERROR_SUCCESS) {
      env.clock.SleepMilliseconds(kStopGraceMs);
      WaitUntilStopped(env, service);
      result = env.services.DeleteService(service) == ERROR_SUCCESS ? 1 : 0;
    }
  }
  env.services.CloseServiceHandle(service);
  return result;
}

}  // namespace

std::string InstallDirPath(const SetupEnvironment& env) {
  std::string path = env.systemDirectory;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + std::string(setup_text::kInstallFolder);
}

std::string InstalledFilePath(const SetupEnvironment& env, std::string_view name) {
  return InstallDirPath(env) + "/" + std::string(name);
}

int CloseWindowAndWait(SetupEnvironment& env, std::string_view className, std::string_view title) {
  const auto window = env.windows.FindWindow(className, title);
  if (!window) return 1;
  env.windows.SendMessage(*window, WM_CLOSE, 0, 0);
  env.clock.SleepMilliseconds(kFirstCloseWaitMs);
  if (!env.windows.FindWindow(className, title)) return 1;
  for (int count = 1;; ++count) {
    env.clock.SleepMilliseconds(kCloseRetryWaitMs);
    if (count > kCloseRetries) return 0;
    if (!env.windows.FindWindow(className, title)) return 1;
  }
}

int SetNtService(SetupEnvironment& env, const std::string& programPath, bool create) {
  ServiceHandle manager = 0;
  if (env.services.OpenManager(SC_MANAGER_CREATE_SERVICE, &manager) != ERROR_SUCCESS) return 0;
  const int result =
      create ? RegisterService(env, manager, programPath) : RemoveService(env, manager);
  env.services.CloseServiceHandle(manager);
  return result;
}

bool WithNtService(SetupEnvironment& env, std::uint32_t managerAccess,
                   const std::function<void(ServiceHandle service)>& use) {
  ServiceHandle manager = 0;
  if (env.services.OpenManager(managerAccess, &manager) != ERROR_SUCCESS) return false;
  ServiceHandle service = 0;
  const bool opened = env.services.OpenService(manager, std::string(setup_text::kNtServiceName),
                                               SERVICE_ALL_ACCESS, &service) == ERROR_SUCCESS;
  if (opened) {
    use(service);
    env.services.CloseServiceHandle(service);
  }
  env.services.CloseServiceHandle(manager);
  return opened;
}

int RegisterEventLogSource(SetupEnvironment& env) {
  ScopedRegistryKey key(env.registry);
  if (env.registry.CreateKey(HKEY_LOCAL_MACHINE, setup_text::kEventSourceKey,
                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, key.out()) != ERROR_SUCCESS) {
    return 0;
  }
  // Named as the file is installed: the message file is looked up by exact name here.
  const std::string messageFile = InstalledFilePath(env, setup_text::kMessageFile);
  if (env.registry.SetValue(key.get(), "EventMessageFile", REG_EXPAND_SZ,
                            RegistryStringData(messageFile)) != ERROR_SUCCESS) {
    return 0;
  }
  if (env.registry.SetValue(key.get(), "TypesSupported", REG_DWORD, RegistryDwordData(7)) !=
      ERROR_SUCCESS) {
    return 0;
  }
  return 1;
}

void SetProgramsShortcut(SetupEnvironment& env, const std::string& directory,
                         std::string_view target, std::string_view linkName, int folderId,
                         bool create) {
  if (!create) {
    env.shortcuts.Delete(folderId, linkName);
    return;
  }
  ShellLink link;
  link.workingDirectory = directory;
  link.path = directory + "/" + std::string(target);
  link.description = std::string(linkName);
  env.shortcuts.Save(folderId, linkName, link);
}

ProgressScope::ProgressScope(ProgressSink& sink, std::string_view caption) : sink_(sink) {
  sink_.Open(caption);
}

ProgressScope::~ProgressScope() {
  sink_.Close();
}

}  // namespace tamrix
