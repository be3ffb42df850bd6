#include "control_panel/views/refusal_window.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "control_panel/control_ids.h"
#include "control_panel/views/page_widgets.h"

namespace tamrix {
namespace {

constexpr int kClientColumn = 1;
constexpr int kHostNameColumn = 2;

QLabel* Wrapped(int id, std::string_view text) {
  QLabel* label = MakeIntro(text);
  label->setObjectName(QString::number(id));
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

std::string DuidSettingsText() {
  std::string text = "ｸﾗｲｱﾝﾄ側の設定：";
  for (std::string_view setting : kDuidClientSettings) text += "\n・" + std::string(setting);
  return text;
}

}  // namespace

CRefusalWindow::CRefusalWindow(const OperatorReport& report, bool known, QWidget* parent)
    : QDialog(parent), listing_(report.recentRefusals) {
  setObjectName(QString::number(kRefusalDialog));
  setWindowTitle(Qt8("拒否履歴"));

  QPushButton* close = MakeButton(IDCANCEL, "閉じる");
  close->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(MakeRecentGroup(report, known), 1);
  layout->addWidget(MakeRemedyGroup());
  layout->addLayout(buttons);

  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(filter_, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { ShowAdvice(); });
  ApplyFilter();
}

QWidget* CRefusalWindow::MakeRecentGroup(const OperatorReport& report, bool known) {
  filter_ = MakeField(IDC_REFUSAL_FILTER, 64);
  filter_->setPlaceholderText(Qt8("ｸﾗｲｱﾝﾄIDかﾎｽﾄ名の一部"));
  auto* filterRow = new QHBoxLayout;
  filterRow->addWidget(MakeLabel("ｸﾗｲｱﾝﾄ："));
  filterRow->addWidget(filter_, 1);

  list_ = MakeList(IDC_REFUSAL_LIST, {Qt8("時刻"), Qt8("ｸﾗｲｱﾝﾄID"), Qt8("ﾎｽﾄ名"), Qt8("理由")}, {});
  list_->setColumnWidth(0, ColumnWidthFor(list_, QStringLiteral("0000/00/00 00:00:00")));
  // Wide enough for the 17 bytes of an identifier kept and the mark of one cut there.
  list_->setColumnWidth(
      kClientColumn, ColumnWidthFor(list_, QStringLiteral("FF:") + QString(32, QLatin1Char('D')) +
                                               QStringLiteral("...")));
  list_->setColumnWidth(kHostNameColumn, ColumnWidthFor(list_, QStringLiteral("hostname-0000")));
  list_->setMinimumSize(list_->columnWidth(0) + list_->columnWidth(kClientColumn) +
                            list_->columnWidth(kHostNameColumn) + 160,
                        240);

  auto* recent = new QGroupBox(Qt8("最近の拒否"));
  auto* layout = new QVBoxLayout(recent);
  layout->addWidget(Wrapped(IDC_REFUSAL_COUNTS, RefusalCountsText(report, known)));
  layout->addLayout(filterRow);
  layout->addWidget(list_);
  return recent;
}

QWidget* CRefusalWindow::MakeRemedyGroup() {
  advice_ = Wrapped(IDC_REFUSAL_ADVICE, "");
  duid_ = Wrapped(IDC_REFUSAL_DUID, DuidSettingsText());
  // The window keeps its size as the selection moves between reasons.
  QSizePolicy keep = duid_->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  duid_->setSizePolicy(keep);
  auto* remedy = new QGroupBox(Qt8("対処方法"));
  auto* layout = new QVBoxLayout(remedy);
  layout->addWidget(advice_);
  layout->addWidget(duid_);
  return remedy;
}

void CRefusalWindow::ApplyFilter() {
  FillList(list_, listing_.Filter(Std8(filter_->text())));
  // A DUID outgrows its column, and a host name may be 63 characters.
  SetRowToolTips(list_, [](const QTreeWidgetItem& item) {
    return item.text(kClientColumn) + QLatin1Char('\n') + item.text(kHostNameColumn);
  });
  ShowAdvice();
}

void CRefusalWindow::ShowAdvice() {
  const Refusal* selected = listing_.AtRow(SelectedRow(list_));
  advice_->setText(selected != nullptr
                       ? Qt8(RefusalAdvice(selected->reason))
                       : Qt8("一覧の行を選択すると、その理由の対処方法を表示します"));
  duid_->setVisible(selected != nullptr && IsDuidRefusal(*selected));
}

}  // namespace tamrix
