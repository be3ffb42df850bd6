#include "control_panel/views/status_dialog.h"

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPalette>
#include <QProgressBar>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "common/meeting_names.h"
#include "control_panel/control_ids.h"
#include "control_panel/help_viewer.h"
#include "control_panel/message_boxes.h"
#include "control_panel/panel_settings.h"
#include "control_panel/status_table.h"
#include "control_panel/views/about_dialog.h"
#include "control_panel/views/lease_detail_dialog.h"
#include "control_panel/views/page_widgets.h"
#include "control_panel/views/panel_icon.h"
#include "control_panel/views/refusal_window.h"
#include "control_panel/views/settings_sheet.h"
#include "control_panel/views/startup_dialog.h"
#include "platform/dialog_ids.h"
#include "platform/qt/window_menu_button.h"

namespace tamrix {
namespace {

constexpr int kHostNameColumn = 3;

bool PoolUnset(const PanelSettings& settings) {
  return settings.StartIPAddr.empty() || settings.EndIPAddr.empty() || settings.SubnetMask.empty();
}

}  // namespace

CStatusDialog::CStatusDialog(StatusDialogContext context, QWidget* parent)
    : QDialog(parent),
      context_(context),
      listing_(context.leases),
      operatorPanel_(context.operators) {
  setObjectName(QStringLiteral("102"));
  setWindowTitle(Qt8(meeting::kPanelWindowTitle));
  setWindowIcon(PanelIcon(context_.service.IsNT()));
  // Minimise and restore stay with the window manager; the list grows with the window.
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  // The lead mark gets a narrow column of its own; the right-aligned octets of the address
  // line up in a fixed-pitch font.
  list_ = MakeList(IDC_LEASE_LIST, {QString(), Qt8("IPｱﾄﾞﾚｽ"), Qt8("有効期限"), Qt8("ﾎｽﾄ名")},
                   {18, 120, 150});
  list_->setFont(FixedPitchFont());
  list_->setMinimumSize(480, 260);
  list_->setSortingEnabled(false);
  auto* leases = new QGroupBox(Qt8("IPｱﾄﾞﾚｽ貸出し状況"));
  (new QVBoxLayout(leases))->addWidget(list_);

  const struct {
    int id;
    const char* text;
  } kButtons[] = {{IDC_REFRESH, "最新の情報"}, {IDC_DETAIL, "詳細"},       {IDC_START, "開始"},
                  {IDC_STOP, "停止"},          {IDC_PAUSE, "一時停止"},    {IDC_CONTINUE, "続行"},
                  {IDC_STARTUP, "ｽﾀｰﾄｱｯﾌﾟ"},   {IDC_SETTINGS, "設定変更"}, {IDC_CLOSE, "閉じる"},
                  {IDC_HELP, "ﾍﾙﾌﾟ(&H)"}};
  for (const auto& b : kButtons) buttons_[b.id] = MakeButton(b.id, b.text);

  status_ = MakeLabel("稼動状況");
  status_->setObjectName(QString::number(IDC_STATUS_TEXT));
  status_->setAlignment(Qt::AlignCenter);
  status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  auto* side = new QVBoxLayout;
  side->addWidget(Button(IDC_REFRESH));
  side->addWidget(Button(IDC_DETAIL));
  side->addSpacing(12);
  side->addWidget(status_);
  for (int id : {IDC_START, IDC_STOP, IDC_PAUSE, IDC_CONTINUE, IDC_STARTUP, IDC_SETTINGS}) {
    side->addWidget(Button(id));
  }
  side->addStretch();
  side->addWidget(Button(IDC_CLOSE));
  side->addWidget(Button(IDC_HELP));

  auto* top = new QHBoxLayout;
  top->addWidget(leases, 1);
  top->addLayout(side);
  // The operator's part goes below, so the list and the service buttons keep their places.
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addWidget(MakeOperatorArea());

  ServiceControl& service = context_.service;
  connect(Button(IDC_REFRESH), &QPushButton::clicked, this, [this] { RefreshLeaseList(); });
  connect(Button(IDC_DETAIL), &QPushButton::clicked, this, [this] { ShowDetail(); });
  connect(Button(IDC_START), &QPushButton::clicked, this, [this, &service] {
    RunServiceCommand([&service] { return service.StartTheService(); });
  });
  connect(Button(IDC_STOP), &QPushButton::clicked, this,
          [this, &service] { RunServiceCommand([&service] { return service.StopTheService(); }); });
  connect(Button(IDC_PAUSE), &QPushButton::clicked, this, [this, &service] {
    RunServiceCommand([&service] { return service.PauseTheService(); });
  });
  connect(Button(IDC_CONTINUE), &QPushButton::clicked, this, [this, &service] {
    RunServiceCommand([&service] { return service.ContinueTheService(); });
  });
  connect(Button(IDC_STARTUP), &QPushButton::clicked, this, [this] { ChooseStartup(); });
  connect(Button(IDC_SETTINGS), &QPushButton::clicked, this, [this] { OpenSettings(); });
  connect(Button(IDC_CLOSE), &QPushButton::clicked, this, &QDialog::accept);
  connect(Button(IDC_HELP), &QPushButton::clicked, this,
          [this] { context_.help.ShowHelp(HelpFilePath(context_.systemDirectory)); });
  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateDetailButton(); });
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { ShowDetail(); });

  // Where the window menu's entry went: the window's context menu, and the icon button below
  // ﾍﾙﾌﾟ, in the window's corner.
  auto* about = new QAction(Qt8("ﾊﾞｰｼﾞｮﾝ情報(TAMRIX) (&A)..."), this);
  about->setObjectName(QString::number(IDM_ABOUTBOX));
  connect(about, &QAction::triggered, this, [this] { ShowAbout(); });
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  side->addWidget(MakeWindowMenuButton(*this, Qt8("ﾊﾞｰｼﾞｮﾝ情報 TAMRIX")), 0, Qt::AlignRight);
}

void CStatusDialog::Initialize() {
  ApplyStatus(context_.service.status());
  UpdateDetailButton();
  if (PoolUnset(context_.settings)) OpenSettings();
  RefreshLeaseList();
}

int CStatusDialog::Run() {
  Initialize();
  if (ended_) return result();
  return exec();
}

void CStatusDialog::done(int result) {
  ended_ = true;
  QDialog::done(result);
}

void CStatusDialog::RefreshLeaseList() {
  FillList(list_, listing_.Refresh());
  // A host name may be 63 characters, far wider than its column.
  SetRowToolTips(list_, [](const QTreeWidgetItem& item) { return item.text(kHostNameColumn); });
  UpdateDetailButton();
  operatorPanel_.Refresh();
  ShowOperatorReport();
}

void CStatusDialog::ApplyStatus(ServiceStatus status) {
  const StatusView view = StatusTable(status, context_.service.IsNT());
  status_->setText(Qt8(view.text));
  Button(IDC_START)->setEnabled(view.start);
  Button(IDC_STOP)->setEnabled(view.stop);
  Button(IDC_PAUSE)->setEnabled(view.pause);
  Button(IDC_CONTINUE)->setEnabled(view.resume);
  Button(IDC_SETTINGS)->setEnabled(view.settings);
  for (int id : {IDC_START, IDC_STOP, IDC_PAUSE, IDC_CONTINUE}) {
    Button(id)->setDefault(id == view.defaultButton);
  }
  if (view.defaultButton != 0) Button(view.defaultButton)->setFocus();
}

void CStatusDialog::ShowDetail() {
  const LeaseEntry* selected = listing_.EntryAtRow(SelectedRow(list_));
  if (selected == nullptr) {
    context_.boxes.ShowMessage(MSG_SELECT_ITEM, PanelMessageText(MSG_SELECT_ITEM));
    return;
  }
  const LeaseEntry entry = *selected;  // the refresh after a release replaces the snapshot
  CLeaseDetailDialog detail(entry, ReserveAllowed(entry, context_.service.status()), this);
  const int result = detail.exec();
  if (result == CLeaseDetailDialog::kReserved) return ReserveLease(entry);
  if (result != QDialog::Accepted) return;
  listing_.Release(entry);
  RefreshLeaseList();
}

void CStatusDialog::ReserveLease(const LeaseEntry& entry) {
  const int message = operatorPanel_.Reserve(entry);
  // A service that did not answer is not asked again at once: that would hold the window for
  // the client's bound a second time.
  if (message != MSG_NONE) {
    context_.boxes.ShowMessage(message, PanelMessageText(message));
    return;
  }
  RefreshLeaseList();
}

void CStatusDialog::ShowAbout() {
  CAboutDialog about(context_.files, context_.systemDirectory, context_.service.IsNT(), this);
  about.exec();
}

void CStatusDialog::ChooseStartup() {
  ServiceControl& service = context_.service;
  CStartupDialog startup(service.QueryStartupType(), service.IsNT(), this);
  if (startup.exec() == QDialog::Accepted) ChooseStartupType(service, startup.checked());
}

void CStatusDialog::OpenSettings() {
  SettingsSheet sheet({context_.settings, context_.profile, context_.files, context_.hosts,
                       context_.boxes, context_.windowsDirectory},
                      this);
  sheet.exec();
}

void CStatusDialog::ShowRefusals() {
  // The window shows the report of the last refresh; 最新の情報 brings a newer one.
  CRefusalWindow refusals(operatorPanel_.report(), operatorPanel_.known(), this);
  refusals.exec();
}

void CStatusDialog::AcknowledgeRogueServer() {
  // A refused acknowledgement leaves the alarm up: it stays until the service takes one.
  if (operatorPanel_.AcknowledgeShown()) ShowOperatorReport();
}

void CStatusDialog::RunServiceCommand(const std::function<int()>& command) {
  // The commands wait for the service (up to about a minute); say so with the cursor.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  command();
  ApplyStatus(context_.service.QueryServiceStatusCode());
  RefreshLeaseList();
  QApplication::restoreOverrideCursor();
}

void CStatusDialog::UpdateDetailButton() {
  Button(IDC_DETAIL)->setEnabled(SelectedRow(list_) >= 0);
}

QWidget* CStatusDialog::MakeOperatorArea() {
  auto* area = new QWidget;
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(MakeUsageGroup());
  layout->addWidget(MakeRogueLine());
  ShowOperatorReport();
  return area;
}

QWidget* CStatusDialog::MakeUsageGroup() {
  poolBar_ = new QProgressBar;
  poolBar_->setObjectName(QString::number(IDC_POOL_BAR));
  poolNumbers_ = MakeLabel("");
  poolNumbers_->setObjectName(QString::number(IDC_POOL_NUMBERS));
  poolWarning_ = MakeLabel("");
  poolWarning_->setObjectName(QString::number(IDC_POOL_WARNING));
  poolWarning_->setWordWrap(true);
  QPushButton* refusals = MakeButton(IDC_SHOW_REFUSALS, "拒否履歴");
  connect(refusals, &QPushButton::clicked, this, [this] { ShowRefusals(); });

  auto* usage = new QGroupBox(Qt8("ｱﾄﾞﾚｽ使用状況"));
  auto* grid = new QGridLayout(usage);
  grid->addWidget(poolBar_, 0, 0);
  grid->addWidget(refusals, 0, 1);
  grid->addWidget(poolNumbers_, 1, 0, 1, 2);
  grid->addWidget(poolWarning_, 2, 0, 1, 2);
  grid->setColumnStretch(0, 1);
  return usage;
}

QWidget* CStatusDialog::MakeRogueLine() {
  rogueLine_ = new QFrame;
  auto* icon = new QLabel;
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(16, 16));
  rogueText_ = MakeLabel("");
  rogueText_->setObjectName(QString::number(IDC_ROGUE_WARNING));
  rogueText_->setWordWrap(true);
  rogueText_->setTextFormat(Qt::PlainText);
  rogueText_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
  QPushButton* acknowledge = MakeButton(IDC_ROGUE_ACKNOWLEDGE, "確認");
  connect(acknowledge, &QPushButton::clicked, this, [this] { AcknowledgeRogueServer(); });
  auto* line = new QHBoxLayout(rogueLine_);
  line->setContentsMargins(0, 0, 0, 0);
  line->addWidget(icon);
  line->addWidget(rogueText_, 1);
  line->addWidget(acknowledge);
  return rogueLine_;
}

void CStatusDialog::ShowOperatorReport() {
  const PoolUsageView usage = operatorPanel_.Usage();
  poolBar_->setRange(0, std::max(usage.total, 1));
  poolBar_->setValue(usage.used);
  poolBar_->setFormat(Qt8(usage.barText));
  poolBar_->setTextVisible(usage.known);
  poolNumbers_->setText(Qt8(usage.numbers));
  poolWarning_->setText(Qt8(usage.warningText));
  // Red once nothing is left, amber while little is.
  const bool exhausted = usage.warning == PoolWarning::kExhausted;
  const QColor color = exhausted ? QColor(0xB0, 0x00, 0x00) : QColor(0xA0, 0x50, 0x00);
  poolWarning_->setStyleSheet(QStringLiteral("color: %1; font-weight: bold").arg(color.name()));
  poolWarning_->setVisible(usage.warning != PoolWarning::kNone);
  QPalette bar = QApplication::palette(poolBar_);
  if (usage.warning != PoolWarning::kNone) bar.setColor(QPalette::Highlight, color);
  poolBar_->setPalette(bar);

  const std::string rogue = operatorPanel_.RogueWarning();
  rogueText_->setText(Qt8(rogue));
  rogueLine_->setVisible(!rogue.empty());
}

}  // namespace tamrix
