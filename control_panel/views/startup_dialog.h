#pragma once

#include <QDialog>

#include "control_panel/service_control.h"

class QButtonGroup;

namespace tamrix {

// CStartupDialog: "TAMRIXのｽﾀｰﾄｱｯﾌﾟ", one radio button per start-up type.
class CStartupDialog final : public QDialog {
 public:
  CStartupDialog(StartupType current, bool isNT, QWidget* parent = nullptr);
  // The checked type, STARTUP_UNKNOWN when none is checked.
  StartupType checked() const;

 private:
  QButtonGroup* types_;
};

}  // namespace tamrix
