#include "control_panel/views/lease_detail_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "control_panel/control_ids.h"
#include "control_panel/lease_text.h"
#include "control_panel/views/page_widgets.h"

namespace tamrix {
namespace {

QLabel* Value(int id, const std::string& text) {
  QLabel* label = MakeLabel(text);
  label->setObjectName(QString::number(id));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

CLeaseDetailDialog::CLeaseDetailDialog(const LeaseEntry& entry, bool reservable, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("130"));
  setWindowTitle(Qt8("詳細情報"));
  const LeaseDetail detail = LeaseDetailText(entry);

  auto* fields = new QFormLayout;
  fields->addRow(MakeLabel("IPｱﾄﾞﾚｽ："), Value(IDC_LEASE_ADDRESS, detail.address));
  fields->addRow(MakeLabel("ｸﾗｲｱﾝﾄID："), Value(IDC_LEASE_CLIENT, detail.client));
  fields->addRow(MakeLabel("ﾎｽﾄ名："), Value(IDC_LEASE_HOST, detail.hostName));
  fields->addRow(MakeLabel("状態："), Value(IDC_LEASE_STATE, std::string(detail.state.text)));
  fields->addRow(MakeLabel("有効期限："), Value(IDC_LEASE_EXPIRY, detail.expiry));

  QPushButton* release = MakeButton(IDC_RELEASE, "削除");
  release->setEnabled(detail.state.releaseAllowed);
  QPushButton* reserve = MakeButton(IDC_RESERVE_LEASE, "予約");
  reserve->setEnabled(reservable);
  QPushButton* close = MakeButton(IDCANCEL, "閉じる");
  close->setDefault(true);
  connect(release, &QPushButton::clicked, this, &QDialog::accept);
  connect(reserve, &QPushButton::clicked, this, [this] { done(kReserved); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(reserve);
  buttons->addWidget(release);
  buttons->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tamrix
