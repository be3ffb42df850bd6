#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "control_panel/control_ids.h"
#include "control_panel/reserve_page.h"
#include "control_panel/views/page_widgets.h"
#include "control_panel/views/settings_pages.h"
#include "platform/machine_paths.h"
#include "storage/lease_database.h"

namespace tamrix {
namespace {

const QString kWidestAddress = QStringLiteral("000.000.000.000");

class ReserveView final : public SettingsPage {
 public:
  explicit ReserveView(SheetContext& context) : SettingsPage(context, "107"), page_(context.settings) {
    page_.Load(context.files, Path());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        MakeIntro("ここでIPｱﾄﾞﾚｽの予約や無効化が出来ます。BOOTPｸﾗｲｱﾝﾄは予約が必要です。"));
    auto* grid = new QGridLayout;
    client_ = AddRow(grid, 0, "ｸﾗｲｱﾝﾄID：", IDC_RESERVE_CLIENT, 35, page_.clientId);
    host_ = AddRow(grid, 1, "ﾎｽﾄ名：", IDC_RESERVE_HOST, 64, page_.hostName);
    // 無効化 needs only the address, so it sits beside it; 予約 takes all three fields.
    disable_ = MakeButton(IDC_DISABLE, "無効化");
    reserve_ = MakeButton(IDC_RESERVE, "予約");
    address_ = AddRow(grid, 2, "IPｱﾄﾞﾚｽ：", IDC_RESERVE_ADDRESS, 15, page_.address, disable_);
    FitFieldTo(address_, kWidestAddress);
    grid->addWidget(reserve_, 2, 2);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    auto* group = new QGroupBox(Qt8("割り当て済み一覧"));
    auto* row = new QHBoxLayout(group);
    list_ = MakeList(IDC_RESERVATIONS, {QString(), Qt8("IPｱﾄﾞﾚｽ"), Qt8("ﾎｽﾄ名")}, {20});
    list_->setFont(FixedPitchFont());  // the padded octets line up
    list_->setColumnWidth(1, ColumnWidthFor(list_, kWidestAddress));
    row->addWidget(list_, 1);
    auto* buttons = new QVBoxLayout;
    browse_ = MakeButton(IDC_BROWSE, "参照");
    release_ = MakeButton(IDC_UNRESERVE, "解除");
    buttons->addWidget(browse_);
    buttons->addWidget(release_);
    buttons->addStretch();
    row->addLayout(buttons);
    layout->addWidget(group, 1);

    connect(reserve_, &QPushButton::clicked, this, [this] { Run(page_.Reserve()); });
    connect(disable_, &QPushButton::clicked, this, [this] { Run(page_.Disable()); });
    connect(browse_, &QPushButton::clicked, this, [this] { Browse(); });
    connect(release_, &QPushButton::clicked, this, [this] { Run(page_.Release()); });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
      page_.selectedRow = SelectedRow(list_);
      Refresh();
    });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { Browse(); });
    Refill();
  }

  void Activated() override { Refill(); }
  void Apply() override { page_.Save(context_.files, Path()); }

 private:
  std::string Path() const {
    return JoinPath(context_.windowsDirectory, std::string(kLeaseDatabaseFileName));
  }

  QLineEdit* AddRow(QGridLayout* grid, int row, std::string_view label, int id, int limit,
                    std::string& value, QWidget* beside = nullptr) {
    QLineEdit* field = MakeField(id, limit);
    grid->addWidget(MakeLabel(label), row, 0);
    if (beside == nullptr) {
      grid->addWidget(field, row, 1);
    } else {
      auto* line = new QHBoxLayout;
      line->addWidget(field);
      line->addWidget(beside);
      line->addStretch();
      grid->addLayout(line, row, 1);
    }
    connect(field, &QLineEdit::textChanged, this, [this, &value](const QString& t) {
      value = Std8(t);
      Refresh();
    });
    return field;
  }

  void Run(const EditResult& result) {
    ShowIfAny(context_.boxes, result.message);
    if (!result.modified) return;
    Modified();
    Refill();
  }

  void Browse() {
    page_.selectedRow = SelectedRow(list_);
    const EditResult result = page_.Browse();
    ShowIfAny(context_.boxes, result.message);
    if (result.message != 0) return;
    client_->setText(Qt8(page_.clientId));
    host_->setText(Qt8(page_.hostName));
    address_->setText(Qt8(page_.address));
    Refresh();
  }

  void Refill() {
    FillList(list_, page_.ListLines());
    page_.selectedRow = -1;
    Refresh();
  }

  void Refresh() {
    browse_->setEnabled(page_.BrowseEnabled());
    release_->setEnabled(page_.ReleaseEnabled());
    disable_->setEnabled(page_.DisableEnabled());
    reserve_->setEnabled(page_.ReserveEnabled());
  }

  ReservePage page_;
  QLineEdit* client_;
  QLineEdit* host_;
  QLineEdit* address_;
  QPushButton* disable_;
  QPushButton* reserve_;
  QPushButton* browse_;
  QPushButton* release_;
  QTreeWidget* list_;
};

}  // namespace

SettingsPage* MakeReserveView(SheetContext& context) { return new ReserveView(context); }

}  // namespace tamrix
