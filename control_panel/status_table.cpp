#include "control_panel/status_table.h"

namespace tamrix {

StatusView StatusTable(ServiceStatus status, bool isNT) {
  StatusView view;
  switch (status) {
    case STATUS_STOPPED:
      view = {"停止中", true, false, false, false, true, IDC_START};
      break;
    case STATUS_RUNNING:
      view = {"実行中", false, true, true, false, false, IDC_STOP};
      break;
    case STATUS_PAUSED:
      view = {"一時停止中", false, true, false, true, false, IDC_CONTINUE};
      break;
    case STATUS_UNKNOWN:
    default:
      view = {"無効", false, false, false, false, false, 0};
      break;
  }
  if (!isNT) {
    view.pause = false;
    view.resume = false;
    if (view.defaultButton == IDC_CONTINUE) view.defaultButton = IDC_STOP;
  }
  return view;
}

int ChooseStartupType(ServiceControl& service, StartupType checked) {
  service.SetStartupType(checked);
  return service.ApplyStartupType();
}

}  // namespace tamrix
