#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "common/client_id.h"
#include "control_panel/client_page.h"
#include "control_panel/control_ids.h"
#include "control_panel/views/page_widgets.h"
#include "control_panel/views/settings_pages.h"
#include "platform/machine_paths.h"

namespace tamrix {
namespace {

class ClientView final : public SettingsPage {
 public:
  explicit ClientView(SheetContext& context)
      : SettingsPage(context, "133"), page_(ClientPage::Build(context.settings)) {
    LoadClientList(context.files, Path(), page_.list);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeIntro(
        "TAMRIXｻｰﾋﾞｽを利用できるｸﾗｲｱﾝﾄを限定する場合は、利用を許可するｸﾗｲｱﾝﾄをここで設定して下さい。"));
    off_ = MakeRadio(IDC_ANY_CLIENT, "DHCPｸﾗｲｱﾝﾄを限定しない");
    on_ = MakeRadio(IDC_LISTED_CLIENTS, "DHCPｸﾗｲｱﾝﾄを限定する");
    layout->addWidget(off_);
    layout->addWidget(on_);

    auto* grid = new QGridLayout;
    client_ = MakeField(IDC_CLIENT_ID, 35);
    comment_ = MakeField(IDC_CLIENT_COMMENT, 78);
    add_ = MakeButton(IDC_ADD_CLIENT, "追加");
    grid->addWidget(MakeLabel("ｸﾗｲｱﾝﾄID："), 0, 0);
    grid->addWidget(client_, 0, 1);
    grid->addWidget(MakeLabel("ｺﾒﾝﾄ："), 1, 0);
    grid->addWidget(comment_, 1, 1);
    grid->addWidget(add_, 1, 2);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    auto* row = new QHBoxLayout;
    list_ = MakeList(IDC_CLIENT_LIST, {QString(), QString()}, {});
    list_->setHeaderHidden(true);
    list_->setFont(FixedPitchFont());
    // Wide enough for the longest identifier there is, so none is ever cut short.
    ClientId longest;
    longest.length = kMaxClientIdLength;
    list_->setColumnWidth(0, ColumnWidthFor(list_, Qt8(FormatClientId(longest))));
    remove_ = MakeButton(IDC_REMOVE_CLIENT, "削除");
    row->addWidget(list_, 1);
    auto* side = new QVBoxLayout;
    side->addWidget(remove_);
    side->addStretch();
    row->addLayout(side);
    layout->addLayout(row, 1);

    connect(off_, &QRadioButton::clicked, this, [this] { Choose(false); });
    connect(on_, &QRadioButton::clicked, this, [this] { Choose(true); });
    connect(client_, &QLineEdit::textChanged, this, [this](const QString& t) {
      page_.clientId = Std8(t);
      Refresh();
    });
    connect(comment_, &QLineEdit::textChanged, this,
            [this](const QString& t) { page_.comment = Std8(t); });
    connect(add_, &QPushButton::clicked, this, [this] { Run(page_.Add()); });
    connect(remove_, &QPushButton::clicked, this, [this] { Run(page_.Remove()); });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
      page_.selectedRow = SelectedRow(list_);
      Refresh();
    });
    Refill();
  }

  void Activated() override { Refresh(); }
  void Apply() override {
    page_.Apply(context_.settings, context_.profile, context_.files, Path());
  }

 private:
  std::string Path() const {
    return JoinPath(context_.windowsDirectory, std::string(kAllowedClientFileName));
  }

  void Choose(bool on) {
    if (page_.SetCheckClient(on)) Modified();
    Refresh();
  }

  void Run(const EditResult& result) {
    ShowIfAny(context_.boxes, result.message);
    if (!result.modified) return;
    Modified();
    Refill();
  }

  void Refill() {
    FillList(list_, page_.ListLines());
    // The comment can still run past the list's edge; the tooltip shows the whole row.
    SetRowToolTips(list_, [](const QTreeWidgetItem& item) {
      QString tip = item.text(0);
      if (!item.text(1).isEmpty()) tip += QLatin1Char('\n') + item.text(1);
      return tip;
    });
    page_.selectedRow = -1;
    Refresh();
  }

  void Refresh() {
    off_->setChecked(!page_.checkClient);
    on_->setChecked(page_.checkClient);
    list_->setEnabled(page_.ListEnabled());
    client_->setEnabled(page_.ListEnabled());
    comment_->setEnabled(page_.ListEnabled());
    add_->setEnabled(page_.AddEnabled());
    remove_->setEnabled(page_.RemoveEnabled());
  }

  ClientPage page_;
  QRadioButton* off_;
  QRadioButton* on_;
  QLineEdit* client_;
  QLineEdit* comment_;
  QPushButton* add_;
  QPushButton* remove_;
  QTreeWidget* list_;
};

}  // namespace

SettingsPage* MakeClientView(SheetContext& context) { return new ClientView(context); }

}  // namespace tamrix
