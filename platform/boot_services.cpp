#include "platform/boot_services.h"

namespace tamrix {
namespace {

constexpr const char* kServicesPath = "SYSTEM\\CurrentControlSet\\Services";

std::vector<std::string> RegisteredServices(Registry& registry) {
  std::vector<std::string> names;
  ScopedRegistryKey services(registry);
  if (registry.OpenKey(HKEY_LOCAL_MACHINE, kServicesPath, KEY_READ, services.out()) ==
      ERROR_SUCCESS) {
    registry.ListSubkeys(services.get(), &names);
  }
  return names;
}

std::string Failure(const std::string& what, int code) {
  return what + ": error " + std::to_string(code);
}

// Runs action on each service the manager knows by that name (other keys under Services, the
// event log's for one, are passed over).
template <typename Action>
void ForEachService(Registry& registry, ServiceManager& manager, ServiceHandle scm,
                    Action action) {
  for (const std::string& name : RegisteredServices(registry)) {
    ServiceHandle service = 0;
    if (manager.OpenService(scm, name, SERVICE_ALL_ACCESS, &service) != ERROR_SUCCESS) continue;
    action(name, service);
    manager.CloseServiceHandle(service);
  }
}

}  // namespace

BootOutcome StartBootServices(Registry& registry, ServiceManager& manager,
                              const ProgramLauncher& launch) {
  BootOutcome outcome;
  ServiceHandle scm = 0;
  if (const int code = manager.OpenManager(SC_MANAGER_CONNECT, &scm); code != ERROR_SUCCESS) {
    outcome.failures.push_back(Failure("service manager", code));
  } else {
    ForEachService(registry, manager, scm, [&](const std::string& name, ServiceHandle service) {
      ServiceConfig config;
      if (manager.QueryServiceConfig(service, &config) != ERROR_SUCCESS ||
          config.startType != SERVICE_AUTO_START) {
        return;
      }
      const int code = manager.StartService(service);
      if (code == ERROR_SUCCESS) {
        outcome.startedServices.push_back(name);
      } else if (code != ERROR_SERVICE_ALREADY_RUNNING) {
        outcome.failures.push_back(Failure("service " + name, code));
      }
    });
    manager.CloseServiceHandle(scm);
  }

  ScopedRegistryKey runServices(registry);
  if (registry.OpenKey(HKEY_LOCAL_MACHINE, kRunServicesKeyPath, KEY_READ, runServices.out()) !=
      ERROR_SUCCESS) {
    return outcome;
  }
  std::vector<std::string> values;
  registry.ListValues(runServices.get(), &values);
  for (const std::string& name : values) {
    RegistryValue value;
    if (registry.QueryValue(runServices.get(), name, &value) != ERROR_SUCCESS ||
        (value.type != REG_SZ && value.type != REG_EXPAND_SZ)) {
      continue;
    }
    const std::string path = RegistryStringFrom(value.data);
    if (path.empty()) continue;
    const int code = launch(path);
    if (code == ERROR_SUCCESS) {
      outcome.launchedPrograms.push_back(path);
    } else {
      outcome.failures.push_back(Failure("program " + path, code));
    }
  }
  return outcome;
}

int ShutdownServices(Registry& registry, ServiceManager& manager) {
  int sent = 0;
  ServiceHandle scm = 0;
  if (manager.OpenManager(SC_MANAGER_CONNECT, &scm) != ERROR_SUCCESS) return 0;
  ForEachService(registry, manager, scm, [&](const std::string&, ServiceHandle service) {
    ServiceStatusReport status;
    if (manager.QueryServiceStatus(service, &status) != ERROR_SUCCESS ||
        status.currentState == SERVICE_STOPPED ||
        (status.controlsAccepted & SERVICE_ACCEPT_SHUTDOWN) == 0) {
      return;
    }
    if (manager.ControlService(service, SERVICE_CONTROL_SHUTDOWN, &status) == ERROR_SUCCESS) {
      ++sent;
    }
  });
  manager.CloseServiceHandle(scm);
  return sent;
}

}  // namespace tamrix
