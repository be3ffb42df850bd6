#include "control_panel/views/startup_dialog.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "control_panel/control_ids.h"
#include "control_panel/views/page_widgets.h"

namespace tamrix {

CStartupDialog::CStartupDialog(StartupType current, bool isNT, QWidget* parent)
    : QDialog(parent), types_(new QButtonGroup(this)) {
  setObjectName(QStringLiteral("131"));
  setWindowTitle(Qt8("TAMRIXのｽﾀｰﾄｱｯﾌﾟ"));

  auto* group = new QGroupBox(Qt8("ｽﾀｰﾄｱｯﾌﾟの種類"));
  auto* radios = new QVBoxLayout(group);
  const struct {
    int id;
    const char* text;
    StartupType type;
  } kTypes[] = {{IDC_STARTUP_AUTOMATIC, "自動", STARTUP_AUTOMATIC},
                {IDC_STARTUP_MANUAL, "手動", STARTUP_MANUAL},
                {IDC_STARTUP_DISABLED, "無効", STARTUP_DISABLED}};
  for (const auto& t : kTypes) {
    QRadioButton* radio = MakeRadio(t.id, t.text);
    types_->addButton(radio, t.type);
    radio->setChecked(t.type == current);
    radios->addWidget(radio);
  }
  // A 95 host is started at boot or by hand; it has no disabled state.
  types_->button(STARTUP_DISABLED)->setEnabled(isNT);

  QPushButton* ok = MakeButton(IDOK, "OK");
  ok->setDefault(true);
  QPushButton* cancel = MakeButton(IDCANCEL, "ｷｬﾝｾﾙ");
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addStretch();

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

StartupType CStartupDialog::checked() const {
  const int id = types_->checkedId();
  return id < 0 ? STARTUP_UNKNOWN : static_cast<StartupType>(id);
}

}  // namespace tamrix
