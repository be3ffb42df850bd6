#include <QGridLayout>
#include <QVBoxLayout>

#include "control_panel/control_ids.h"
#include "control_panel/option_page.h"
#include "control_panel/views/page_widgets.h"
#include "control_panel/views/settings_pages.h"

namespace tamrix {
namespace {

class OptionView final : public SettingsPage {
 public:
  explicit OptionView(SheetContext& context)
      : SettingsPage(context, "132"), page_(OptionPage::Build(context.settings)) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeIntro("DHCPｻｰﾋﾞｽのｵﾌﾟｼｮﾝを指定して下さい。"));
    layout->addWidget(Check(IDC_BROADCAST_SERVER_ID,
                            "DHCPｻｰﾊﾞｰｱﾄﾞﾚｽとして(255.255.255.255)を通知する", page_.srvAddr));
    layout->addWidget(Check(IDC_NACK, "管理外のｱﾄﾞﾚｽを要求された場合DHCP NACKを返す", page_.nack));
    QCheckBox* probe = MakeCheck(IDC_PROBE, "ｱﾄﾞﾚｽの競合を検出する");
    probe->setChecked(page_.usePing);
    connect(probe, &QCheckBox::clicked, this, [this](bool on) {
      page_.SetUsePing(on);
      wait_->setText(Qt8(page_.pingWait));
      tries_->setText(Qt8(page_.pingTry));
      Modified();
      Refresh();
    });
    layout->addWidget(probe);
    auto* ping = new QGridLayout;
    ping->setContentsMargins(24, 0, 0, 0);
    wait_ = Field(ping, 0, "pingの応答待ち時間：", IDC_PROBE_WAIT, "ﾐﾘ秒", page_.pingWait);
    tries_ = Field(ping, 1, "pingの試行回数：", IDC_PROBE_TRIES, "回", page_.pingTry);
    layout->addLayout(ping);
    layout->addWidget(Check(IDC_USE_LOG, "ｲﾍﾞﾝﾄﾛｸﾞに記録する （NTのみ）", page_.useLog));
    layout->addWidget(Check(IDC_DHCPINFORM, "DHCPINFORMをｻﾎﾟｰﾄする（実験用）", page_.dhcpInform));
    layout->addStretch();
    Refresh();
  }

  PageCheck Validate() override { return page_.Validate(); }
  void Apply() override { page_.Apply(context_.settings, context_.profile); }

 private:
  QCheckBox* Check(int id, std::string_view text, bool& value) {
    QCheckBox* box = MakeCheck(id, text);
    box->setChecked(value);
    connect(box, &QCheckBox::clicked, this, [this, &value](bool on) {
      value = on;
      Modified();
      Refresh();
    });
    return box;
  }

  QLineEdit* Field(QGridLayout* grid, int row, std::string_view label, int id,
                   std::string_view unit, std::string& value) {
    QLineEdit* field = MakeField(id, 10, true);
    field->setText(Qt8(value));
    field->setFixedWidth(90);
    field->setAlignment(Qt::AlignRight);
    grid->addWidget(MakeLabel(label), row, 0);
    grid->addWidget(field, row, 1);
    grid->addWidget(MakeLabel(unit), row, 2);
    grid->setColumnStretch(3, 1);
    connect(field, &QLineEdit::textChanged, this, [&value](const QString& t) { value = Std8(t); });
    connect(field, &QLineEdit::textEdited, this, [this] { Modified(); });
    return field;
  }

  void Refresh() {
    wait_->setEnabled(page_.PingFieldsEnabled());
    tries_->setEnabled(page_.PingFieldsEnabled());
  }

  OptionPage page_;
  QLineEdit* wait_ = nullptr;
  QLineEdit* tries_ = nullptr;
};

}  // namespace

SettingsPage* MakeOptionView(SheetContext& context) { return new OptionView(context); }

}  // namespace tamrix
