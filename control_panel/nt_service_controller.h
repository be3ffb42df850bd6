#pragma once

#include <cstdint>

#include "control_panel/polled_service_control.h"
#include "platform/clock.h"
#include "platform/service_manager.h"

namespace tamrix {

// The panel's handle on the managed service meeting::kNtServiceName. The service stays open for
// the object's life; when it cannot be opened every status and start-up type is unknown.
class NtServiceController final : public PolledServiceControl {
 public:
  NtServiceController(ServiceManager& manager, Clock& clock);
  ~NtServiceController() override;

  bool IsNT() const override { return true; }

  int ApplyStartupType() override;
  int StartTheService() override;
  int StopTheService() override;
  int PauseTheService() override;
  int ContinueTheService() override;

 private:
  ServiceStatus DeriveStatus() override;
  StartupType ReadStartupType() override;
  int SendControl(std::uint32_t control, ServiceStatus target);

  ServiceManager& manager_;
  ServiceHandle managerHandle_ = 0;
  ServiceHandle service_ = 0;
};

}  // namespace tamrix
