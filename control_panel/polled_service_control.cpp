#include "control_panel/polled_service_control.h"

namespace tamrix {

ServiceStatus PolledServiceControl::QueryServiceStatusCode() {
  ++derivations_;
  status_ = DeriveStatus();
  return status_;
}

StartupType PolledServiceControl::QueryStartupType() {
  startupType_ = ReadStartupType();
  return startupType_;
}

int PolledServiceControl::WaitForStatus(ServiceStatus target) {
  int pauses = 0;
  while (QueryServiceStatusCode() != target) {
    clock_.SleepMilliseconds(kStatusPollMs);
    if (++pauses == kStatusGiveUpPause) return 0;
  }
  return 1;
}

}  // namespace tamrix
