#include "control_panel/views/settings_sheet.h"

#include <QDialogButtonBox>
#include <algorithm>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "control_panel/control_ids.h"
#include "control_panel/views/page_widgets.h"
#include "control_panel/views/settings_pages.h"
#include "platform/private_profile.h"

namespace tamrix {

SettingsSheet::SettingsSheet(SheetContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
  setObjectName(QStringLiteral("CSettingsSheet"));
  setWindowTitle(Qt8("TAMRIX 設定"));
  setModal(true);
  context_.markModified = [this] { SetModified(true); };

  tabs_ = new QTabWidget;
  tabs_->setObjectName(QStringLiteral("tabs"));
  // Every tab title stays in sight, as on a property sheet, instead of behind scroll arrows.
  tabs_->setUsesScrollButtons(false);
  const std::pair<SettingsPage* (*)(SheetContext&), std::string_view> kPages[] = {
      {MakeIpAddrView, "ﾘｰｽ設定"},      {MakeDurationView, "ﾘｰｽ期限"},
      {MakeDnsView, "DNS設定"},         {MakeWinsView, "WINS設定"},
      {MakeReserveView, "ｱﾄﾞﾚｽ予約"},   {MakeClientView, "ｸﾗｲｱﾝﾄ限定"},
      {MakeOptionView, "ｵﾌﾟｼｮﾝ"},       {MakeMailNewsView, "ﾒｰﾙ&&ﾆｭｰｽ"},
  };
  for (const auto& [make, title] : kPages) {
    SettingsPage* page = make(context_);
    pages_.push_back(page);
    tabs_->addTab(page, Qt8(title));
  }
  shown_.assign(pages_.size(), false);
  shown_[0] = true;
  pages_[0]->Activated();

  auto* buttons = new QDialogButtonBox;
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  QPushButton* cancel = buttons->addButton(Qt8("キャンセル"), QDialogButtonBox::RejectRole);
  apply_ = buttons->addButton(Qt8("適用"), QDialogButtonBox::ApplyRole);
  ok->setObjectName(QString::number(IDOK));
  cancel->setObjectName(QString::number(IDCANCEL));
  apply_->setObjectName(QString::number(IDC_APPLY_NOW));
  ok->setDefault(true);
  apply_->setEnabled(false);
  connect(ok, &QPushButton::clicked, this, [this] { PressOk(); });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
  connect(apply_, &QPushButton::clicked, this, [this] { PressApply(); });
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { OnTabChanged(index); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons);
  resize(std::max(560, sizeHint().width()), 440);
}

void SettingsSheet::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;  // a restore, not an opening
  // At first start the sheet opens before its main window is on screen; centring on that
  // window would put the sheet in the corner, so it goes to the middle of the screen.
  const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
  if (owner == nullptr || !owner->isVisible()) {
    if (QScreen* screen = owner != nullptr ? owner->screen() : this->screen()) {
      QRect frame = frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
  }
  // Typing should reach the page at once, not the tab bar that is first in the focus chain.
  QWidget* page = tabs_->currentWidget();
  for (QWidget* w = page->nextInFocusChain(); w != page; w = w->nextInFocusChain()) {
    if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() &&
        w->isVisibleTo(page)) {
      w->setFocus(Qt::TabFocusReason);
      break;
    }
  }
}

// The tab bar has already moved; go back until the old page lets itself be left.
void SettingsSheet::OnTabChanged(int index) {
  if (switching_ || index == current_) return;
  switching_ = true;
  tabs_->setCurrentIndex(current_);
  if (CheckCurrentPage()) {
    tabs_->setCurrentIndex(index);
    current_ = index;
    shown_[static_cast<std::size_t>(index)] = true;
    pages_[static_cast<std::size_t>(index)]->Activated();
  }
  switching_ = false;
}

bool SettingsSheet::CheckCurrentPage() {
  return ResolvePageCheck(context_.boxes, pages_[static_cast<std::size_t>(current_)]->Validate());
}

void SettingsSheet::ApplyShownPages() {
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    if (shown_[i]) pages_[i]->Apply();
  }
}

bool SettingsSheet::PressApply() {
  if (!CheckCurrentPage()) return false;
  ApplyShownPages();
  SetModified(false);
  return true;
}

bool SettingsSheet::PressOk() {
  if (!CheckCurrentPage()) return false;
  ApplyShownPages();
  StorePanelSettings(context_.profile, context_.settings);
  accept();
  return true;
}

void SettingsSheet::SetModified(bool on) {
  modified_ = on;
  apply_->setEnabled(on);
}

}  // namespace tamrix
