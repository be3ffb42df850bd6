#pragma once

#include <map>
#include <string>

#include "platform/machine_paths.h"
#include "platform/posix/service_run_state.h"
#include "platform/registry.h"
#include "platform/service_manager.h"

namespace tamrix {

// The registry path of the service database below HKEY_LOCAL_MACHINE.
inline constexpr const char* kServicesKeyPath = "SYSTEM\\CurrentControlSet\\Services";

// The service manager of the emulated machine. Registrations live in the registry under
// kServicesKeyPath\<name> (ImagePath, DisplayName, Start, Type, ErrorControl, ObjectName, and
// DeleteFlag while a deletion waits for the service to stop). A started service runs detached and
// publishes its status in the run directory (service_run_state.h); there is no manager process.
// A deletion that waited is completed by the service's dispatcher when it stops, or by the next
// manager call that finds the service gone. Every decision that leads to a registry change is
// taken in the same registry batch as the change, so managers and dispatchers in any number of
// processes never act on a registration that another has replaced in between.
class PosixServiceManager final : public ServiceManager {
 public:
  PosixServiceManager(MachinePaths paths, Registry& registry);

  int OpenManager(std::uint32_t access, ServiceHandle* manager) override;
  int CreateService(ServiceHandle manager, const ServiceConfig& config, std::uint32_t access,
                    ServiceHandle* service) override;
  int OpenService(ServiceHandle manager, const std::string& name, std::uint32_t access,
                  ServiceHandle* service) override;
  int CloseServiceHandle(ServiceHandle handle) override;
  int DeleteService(ServiceHandle service) override;
  int StartService(ServiceHandle service) override;
  int ControlService(ServiceHandle service, std::uint32_t control,
                     ServiceStatusReport* status) override;
  int QueryServiceStatus(ServiceHandle service, ServiceStatusReport* status) override;
  int QueryServiceConfig(ServiceHandle service, ServiceConfig* config) override;
  int ChangeServiceConfig(ServiceHandle service, std::uint32_t serviceType,
                          std::uint32_t startType, std::uint32_t errorControl,
                          const std::string* imagePath, const std::string* displayName) override;

  // How long a start waits for the program to connect and a control for its answer.
  void SetTimeouts(int startMilliseconds, int controlMilliseconds);

 private:
  struct Handle {
    bool isManager = false;
    std::string name;  // service handles: the name as registered
  };

  int ServiceName(ServiceHandle handle, std::string* name) const;
  ServiceHandle AddHandle(Handle handle);
  int ReadConfig(const std::string& name, ServiceConfig* config, bool* markedForDelete);
  ServiceStatusReport CurrentStatus(const std::string& name, const ServiceConfig& config);
  int SendControl(const std::string& name, std::uint32_t control, ServiceStatusReport* status);
  int WaitForConnect(const std::string& name, pid_t pid);

  MachinePaths paths_;
  Registry& registry_;
  std::map<ServiceHandle, Handle> handles_;
  ServiceHandle nextHandle_ = 1;
  int startTimeoutMs_ = 30000;
  int controlTimeoutMs_ = 30000;
};

// Finishes a deletion that waited for the service to stop, when the registration is marked and
// the service neither runs nor is being started; true when it deleted the registration. The
// check and the deletion are one registry batch, so when several processes try, one deletes,
// and never a registration created after the one that was marked.
bool CompletePendingDelete(Registry& registry, const MachinePaths& paths, const std::string& name);

}  // namespace tamrix
