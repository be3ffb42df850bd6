#include <QGridLayout>
#include <QVBoxLayout>

#include "control_panel/control_ids.h"
#include "control_panel/ip_addr_page.h"
#include "control_panel/views/page_widgets.h"
#include "control_panel/views/settings_pages.h"

namespace tamrix {
namespace {

class IpAddrView final : public SettingsPage {
 public:
  explicit IpAddrView(SheetContext& context)
      : SettingsPage(context, "103"), page_(IpAddrPage::Build(context.settings)) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeIntro(
        "DHCPｻｰﾊﾞｰが貸し出すIPｱﾄﾞﾚｽの範囲を設定して下さい。 ﾃﾞﾌｫﾙﾄｹﾞｰﾄｳｪｲ以外は必須です。"));
    auto* group = new QGroupBox(Qt8("貸し出すIPｱﾄﾞﾚｽの範囲"));
    auto* range = new QGridLayout(group);
    auto* rest = new QGridLayout;
    AddRow(range, 0, "開始IPｱﾄﾞﾚｽ：", IDC_START_ADDRESS, page_.start);
    AddRow(range, 1, "終了IPｱﾄﾞﾚｽ：", IDC_END_ADDRESS, page_.end);
    AddRow(rest, 0, "ｻﾌﾞﾈｯﾄﾏｽｸ：", IDC_SUBNET_MASK, page_.mask);
    AddRow(rest, 1, "ﾃﾞﾌｫﾙﾄｹﾞｰﾄｳｪｲ：", IDC_GATEWAY, page_.gateway);
    layout->addWidget(group);
    layout->addLayout(rest);
    layout->addStretch();
  }

  PageCheck Validate() override { return page_.Validate(context_.settings); }
  void Apply() override { page_.Apply(context_.settings, context_.profile); }

 private:
  void AddRow(QGridLayout* grid, int row, std::string_view label, int id, std::string& value) {
    QLineEdit* field = MakeField(id, 15);
    field->setText(Qt8(value));
    grid->addWidget(MakeLabel(label), row, 0);
    grid->addWidget(field, row, 1);
    grid->setColumnStretch(2, 1);
    field->setMinimumWidth(140);
    connect(field, &QLineEdit::textChanged, this, [&value](const QString& t) { value = Std8(t); });
    connect(field, &QLineEdit::textEdited, this, [this] { Modified(); });
  }

  IpAddrPage page_;
};

}  // namespace

SettingsPage* MakeIpAddrView(SheetContext& context) { return new IpAddrView(context); }

}  // namespace tamrix
