#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/window_menu_button.h"
#include "setup/setup_texts.h"
#include "setup/views/control_ids.h"
#include "setup/views/setup_views.h"

namespace tamrix {
namespace {

namespace text = setup_text;

QPushButton* Button(int id, std::string_view label) {
  auto* button = new QPushButton(SetupQt(label));
  button->setObjectName(QString::number(id));
  button->setAutoDefault(false);
  return button;
}

QLabel* Note(std::string_view note) {
  auto* label = new QLabel(SetupQt(note));
  label->setWordWrap(false);
  return label;
}

}  // namespace

QIcon SetupIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/setup/128-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/setup/128-32.png"), QSize(32, 32));
  return icon;
}

SetupDialog::SetupDialog(std::function<void()> install, std::function<void()> uninstall,
                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("102"));
  setWindowTitle(SetupQt(text::kDialogTitle));
  setWindowIcon(SetupIcon());

  auto* heading = new QLabel(SetupQt(text::kHeading));
  heading->setAlignment(Qt::AlignCenter);
  auto* notice = new QLabel(QString());
  auto* group = new QGroupBox(SetupQt(text::kGroupTitle));
  auto* grid = new QGridLayout(group);
  QPushButton* installButton = Button(IDC_INSTALL, text::kInstallButton);
  QPushButton* uninstallButton = Button(IDC_UNINSTALL, text::kUninstallButton);
  QPushButton* closeButton = Button(IDCANCEL, text::kCloseButton);
  closeButton->setDefault(true);
  grid->addWidget(installButton, 0, 0);
  grid->addWidget(Note(text::kInstallNote), 0, 1);
  grid->addWidget(uninstallButton, 1, 0);
  grid->addWidget(Note(text::kUninstallNote), 1, 1);
  grid->addWidget(closeButton, 2, 0);
  grid->addWidget(Note(text::kCloseNote), 2, 1);
  grid->setColumnStretch(1, 1);
  auto* footer = new QLabel(SetupQt(text::kFooter));
  footer->setAlignment(Qt::AlignCenter);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(footer, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(heading);
  layout->addWidget(notice);
  layout->addWidget(group);
  layout->addLayout(bottom);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // While a procedure runs its buttons take no input, as in a dialog whose thread is busy. The
  // progress dialog is a child of this one: disabling the whole dialog would grey it out too.
  const auto run = [group](const std::function<void()>& procedure) {
    return [group, procedure] {
      group->setEnabled(false);
      if (procedure) procedure();
      group->setEnabled(true);
    };
  };
  connect(installButton, &QPushButton::clicked, this, run(install));
  connect(uninstallButton, &QPushButton::clicked, this, run(uninstall));
  connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);

  if (!text::kString101.empty()) {
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    auto* about = new QAction(SetupQt(text::kString101), this);
    about->setObjectName(QString::number(IDM_ABOUTBOX));
    connect(about, &QAction::triggered, this, &SetupDialog::ShowAbout);
    addAction(separator);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    // The same menu in the corner; a space as wide keeps the footer centred.
    QToolButton* menuButton = MakeWindowMenuButton(*this, SetupQt(text::kAboutTitle));
    bottom->insertSpacing(0, menuButton->sizeHint().width());
    bottom->addWidget(menuButton);
  }
}

void SetupDialog::ShowAbout() {
  SetupAboutBox box(this);
  box.exec();
}

SetupAboutBox::SetupAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("100"));
  setWindowTitle(SetupQt(text::kAboutTitle));
  auto* icon = new QLabel;
  icon->setPixmap(SetupIcon().pixmap(32, 32));
  auto* version = new QLabel(SetupQt(text::kAboutText));
  version->setObjectName(QStringLiteral("version"));
  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setObjectName(QString::number(IDOK));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addWidget(version, 1);
  row->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tamrix
