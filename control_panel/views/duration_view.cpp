#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "control_panel/control_ids.h"
#include "control_panel/duration_page.h"
#include "control_panel/views/page_widgets.h"
#include "control_panel/views/settings_pages.h"

namespace tamrix {
namespace {

class DurationView final : public SettingsPage {
 public:
  explicit DurationView(SheetContext& context)
      : SettingsPage(context, "106"), page_(DurationPage::Build(context.settings)) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeIntro(
        "貸し出すIPｱﾄﾞﾚｽの有効期限を設定して下さい。有効期限を過ぎた後も一定期間の延長を行う場合は"
        "延長時間も設定して下さい。"));
    unlimited_ = MakeRadio(IDC_LEASE_UNLIMITED, "無期限ﾘｰｽ");
    limited_ = MakeRadio(IDC_LEASE_LIMITED, "期限付きﾘｰｽ");
    extend_ = MakeCheck(IDC_EXTEND, "ﾘｰｽ期限を延長をする");
    layout->addWidget(unlimited_);
    layout->addWidget(limited_);
    layout->addLayout(Period({IDC_LEASE_DAYS, IDC_LEASE_HOURS, IDC_LEASE_MINUTES},
                             {&page_.leaseDays, &page_.leaseHours, &page_.leaseMinutes}, lease_));
    layout->addWidget(extend_);
    layout->addLayout(Period({IDC_EXTEND_DAYS, IDC_EXTEND_HOURS, IDC_EXTEND_MINUTES},
                             {&page_.extendDays, &page_.extendHours, &page_.extendMinutes},
                             grace_));
    layout->addStretch();

    connect(unlimited_, &QRadioButton::clicked, this, [this] {
      if (page_.ChooseUnlimited()) Modified();
      Refresh();
    });
    connect(limited_, &QRadioButton::clicked, this, [this] {
      if (page_.ChooseLimited()) Modified();
      Refresh();
    });
    connect(extend_, &QCheckBox::clicked, this, [this](bool on) {
      if (page_.SetExtend(on)) Modified();
      Refresh();
    });
    Refresh();
  }

  PageCheck Validate() override { return page_.Validate(); }
  void Apply() override {
    page_.Apply(context_.settings, context_.profile);
    Refresh();
  }

 private:
  QHBoxLayout* Period(std::array<int, 3> ids, std::array<std::string*, 3> values,
                      std::array<QLineEdit*, 3>& fields) {
    static constexpr std::string_view kUnits[] = {"日", "時間", "分"};
    static constexpr int kDigits[] = {4, 2, 2};
    auto* row = new QHBoxLayout;
    row->addSpacing(24);
    for (int i = 0; i < 3; ++i) {
      QLineEdit* field = MakeField(ids[i], kDigits[i], true);
      field->setText(Qt8(*values[i]));
      field->setFixedWidth(kDigits[i] == 4 ? 56 : 36);
      field->setAlignment(Qt::AlignRight);
      std::string* value = values[i];
      connect(field, &QLineEdit::textChanged, this, [value](const QString& t) { *value = Std8(t); });
      connect(field, &QLineEdit::textEdited, this, [this] { Modified(); });
      row->addWidget(field);
      row->addWidget(MakeLabel(kUnits[i]));
      fields[i] = field;
    }
    row->addStretch();
    return row;
  }

  void Refresh() {
    unlimited_->setChecked(!page_.limited);
    limited_->setChecked(page_.limited);
    extend_->setChecked(page_.extend);
    extend_->setEnabled(page_.LeaseFieldsEnabled());
    for (QLineEdit* field : lease_) field->setEnabled(page_.LeaseFieldsEnabled());
    for (QLineEdit* field : grace_) field->setEnabled(page_.ExtendFieldsEnabled());
  }

  DurationPage page_;
  QRadioButton* unlimited_;
  QRadioButton* limited_;
  QCheckBox* extend_;
  std::array<QLineEdit*, 3> lease_{};
  std::array<QLineEdit*, 3> grace_{};
};

}  // namespace

SettingsPage* MakeDurationView(SheetContext& context) { return new DurationView(context); }

}  // namespace tamrix
