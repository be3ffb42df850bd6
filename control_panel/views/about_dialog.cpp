#include "control_panel/views/about_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "control_panel/control_ids.h"
#include "control_panel/installed_versions.h"
#include "control_panel/views/page_widgets.h"
#include "control_panel/views/panel_icon.h"

namespace tamrix {
namespace {

QLabel* Named(int id, std::string_view text) {
  QLabel* label = MakeLabel(text);
  label->setObjectName(QString::number(id));
  return label;
}

}  // namespace

CAboutDialog::CAboutDialog(FileSystem& files, const std::string& systemDirectory, bool isNT,
                           QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("100"));
  setWindowTitle(Qt8("ﾊﾞｰｼﾞｮﾝ情報 TAMRIX"));
  const std::string panel = PanelProgramName();
  const std::string service = ServiceProgramName(isNT);

  auto* group = new QGroupBox(Qt8("詳細情報"));
  auto* rows = new QGridLayout(group);
  rows->addWidget(MakeLabel("TAMRIXｺﾝﾄﾛｰﾙ"), 0, 0);
  rows->addWidget(Named(IDC_PANEL_FILE, panel), 0, 1);
  rows->addWidget(Named(IDC_PANEL_VERSION, InstalledFileVersionText(files, systemDirectory, panel)),
                  0, 2);
  rows->addWidget(MakeLabel("TAMRIXｻｰﾋﾞｽ"), 1, 0);
  rows->addWidget(Named(IDC_SERVICE_FILE, service), 1, 1);
  rows->addWidget(
      Named(IDC_SERVICE_VERSION, InstalledFileVersionText(files, systemDirectory, service)), 1, 2);
  rows->setHorizontalSpacing(16);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QString::number(IDOK));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* icon = new QLabel;
  icon->setPixmap(PanelIcon(isNT).pixmap(32, 32));
  auto* heading = new QHBoxLayout;
  heading->addWidget(icon);
  heading->addWidget(Named(IDC_ABOUT_HEADING, "TAMRIX Control Panel"), 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(heading);
  layout->addWidget(group);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tamrix
