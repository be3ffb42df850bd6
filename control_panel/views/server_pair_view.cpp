#include <QGridLayout>
#include <QVBoxLayout>

#include "control_panel/control_ids.h"
#include "control_panel/server_pair_page.h"
#include "control_panel/views/page_widgets.h"
#include "control_panel/views/settings_pages.h"

namespace tamrix {
namespace {

// The texts and numbers that tell the DNS page from the WINS page.
struct PairLayout {
  const char* dialogId;
  std::string_view intro, offText, onText, primaryLabel, secondaryLabel, extraLabel;
  int offId, onId, primaryId, secondaryId, extraId;
  bool dns;
};

constexpr PairLayout kDnsLayout{"104", "DNSを使う場合は、DNSｻｰﾊﾞｰのIPｱﾄﾞﾚｽを設定して下さい。",
                                "DNSを使わない", "DNSを使う", "ﾌﾟﾗｲﾏﾘDNSｻｰﾊﾞｰ：",
                                "ｾｶﾝﾀﾞﾘDNSｻｰﾊﾞｰ：", "DNSﾄﾞﾒｲﾝ名：", IDC_DNS_OFF, IDC_DNS_ON,
                                IDC_DNS1, IDC_DNS2, IDC_DOMAIN_NAME, true};
constexpr PairLayout kWinsLayout{"105", "WINSを使う場合は、WINSｻｰﾊﾞｰのIPｱﾄﾞﾚｽを設定して下さい。",
                                 "WINSを使わない", "WINSを使う", "ﾌﾟﾗｲﾏﾘWINSｻｰﾊﾞｰ：",
                                 "ｾｶﾝﾀﾞﾘWINSｻｰﾊﾞｰ：", "ｽｺｰﾌﾟID：", IDC_WINS_OFF, IDC_WINS_ON,
                                 IDC_WINS1, IDC_WINS2, IDC_SCOPE_ID, false};

class ServerPairView final : public SettingsPage {
 public:
  ServerPairView(SheetContext& context, const PairLayout& layout)
      : SettingsPage(context, layout.dialogId),
        layout_(layout),
        page_(layout.dns ? ServerPairPage::BuildDns(context.settings)
                         : ServerPairPage::BuildWins(context.settings)) {
    auto* box = new QVBoxLayout(this);
    box->addWidget(MakeIntro(layout.intro));
    off_ = MakeRadio(layout.offId, layout.offText);
    on_ = MakeRadio(layout.onId, layout.onText);
    box->addWidget(off_);
    box->addWidget(on_);
    auto* grid = new QGridLayout;
    grid->setContentsMargins(24, 0, 0, 0);
    fields_[0] = AddRow(grid, 0, layout.primaryLabel, layout.primaryId, 15, page_.primary);
    fields_[1] = AddRow(grid, 1, layout.secondaryLabel, layout.secondaryId, 15, page_.secondary);
    fields_[2] = AddRow(grid, 2, layout.extraLabel, layout.extraId, 0, page_.extra);
    box->addLayout(grid);
    box->addStretch();
    connect(off_, &QRadioButton::clicked, this, [this] { Choose(false); });
    connect(on_, &QRadioButton::clicked, this, [this] { Choose(true); });
    Refresh();
  }

  PageCheck Validate() override {
    return page_.Validate(layout_.dns ? kDnsMessages : kWinsMessages);
  }
  void Apply() override {
    if (layout_.dns) {
      page_.ApplyDns(context_.settings, context_.profile);
    } else {
      page_.ApplyWins(context_.settings, context_.profile);
    }
  }

 private:
  QLineEdit* AddRow(QGridLayout* grid, int row, std::string_view label, int id, int limit,
                    std::string& value) {
    QLineEdit* field = MakeField(id, limit);
    field->setText(Qt8(value));
    field->setMinimumWidth(limit > 0 ? 140 : 220);
    grid->addWidget(MakeLabel(label), row, 0);
    grid->addWidget(field, row, 1, Qt::AlignLeft);
    grid->setColumnStretch(2, 1);
    connect(field, &QLineEdit::textChanged, this, [&value](const QString& t) { value = Std8(t); });
    connect(field, &QLineEdit::textEdited, this, [this] { Modified(); });
    return field;
  }

  void Choose(bool use) {
    if (page_.SetUse(use)) Modified();
    Refresh();
  }

  void Refresh() {
    off_->setChecked(!page_.use);
    on_->setChecked(page_.use);
    for (QLineEdit* field : fields_) field->setEnabled(page_.FieldsEnabled());
  }

  const PairLayout& layout_;
  ServerPairPage page_;
  QRadioButton* off_;
  QRadioButton* on_;
  std::array<QLineEdit*, 3> fields_{};
};

}  // namespace

SettingsPage* MakeDnsView(SheetContext& context) { return new ServerPairView(context, kDnsLayout); }
SettingsPage* MakeWinsView(SheetContext& context) {
  return new ServerPairView(context, kWinsLayout);
}

}  // namespace tamrix
