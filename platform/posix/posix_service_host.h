#pragma once

#include <mutex>
#include <string>

#include "platform/machine_paths.h"
#include "platform/registry.h"
#include "platform/service_manager.h"
#include "platform/posix/unique_fd.h"

namespace tamrix {

// The service side of PosixServiceManager. The manager marks a program it starts with the
// variable TAMRIX_SERVICE_NAME; without it the dispatcher refuses with 1063. The dispatcher binds
// the control socket, publishes START_PENDING with its pid, runs ServiceMain on a thread and
// answers controls on the calling thread, one at a time, until the service reports STOPPED. It
// then completes a deletion that waited for the stop. One object serves one service process.
class PosixServiceHost final : public ServiceHost {
 public:
  PosixServiceHost(MachinePaths paths, Registry& registry);

  int StartDispatcher(const std::string& serviceName, ServiceMainFunction serviceMain) override;
  ServiceStatusHandle RegisterControlHandler(const std::string& serviceName,
                                             ServiceControlHandler handler) override;
  int SetServiceStatus(ServiceStatusHandle handle, const ServiceStatusReport& status) override;

 private:
  static constexpr ServiceStatusHandle kStatusHandle = 1;

  bool Publish(const ServiceStatusReport& status);
  void ServeControl(int listener);
  void Wake();

  MachinePaths paths_;
  Registry& registry_;
  std::mutex mutex_;  // guards everything below
  std::string name_;
  bool dispatching_ = false;
  bool stopped_ = false;
  bool mainReturned_ = false;
  ServiceControlHandler handler_;
  ServiceStatusReport current_;
  UniqueFd wakeRead_;
  UniqueFd wakeWrite_;
};

}  // namespace tamrix
