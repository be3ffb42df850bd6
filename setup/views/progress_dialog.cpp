#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include "setup/setup_texts.h"
#include "setup/views/control_ids.h"
#include "setup/views/setup_views.h"

namespace tamrix {
namespace {

// 175 x 75 dialog units at the usual 6 x 13 pixel dialog font base.
constexpr int kWidth = 262;
constexpr int kHeight = 122;

// The procedures run on the GUI thread: let the dialog paint what changed before the next step.
void Repaint(QWidget* widget) {
  widget->repaint();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

ProgressDialog::ProgressDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      text_(new QLabel(SetupQt(setup_text::kProgressInitialText))),
      bar_(new QProgressBar) {
  setObjectName(QStringLiteral("130"));
  setModal(false);
  text_->setObjectName(QString::number(IDC_PROGRESS_TEXT));
  bar_->setObjectName(QString::number(IDC_PROGRESS_BAR));
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(bar_);
  setFixedSize(kWidth, kHeight);
}

void ProgressDialog::SetPosition(int position) {
  bar_->setValue(position);
  Repaint(this);
}

void ProgressDialog::SetText(std::string_view text) {
  text_->setText(SetupQt(text));
  Repaint(this);
}

void QtProgressSink::Open(std::string_view caption) {
  dialog_ = std::make_unique<ProgressDialog>(parent_);
  dialog_->setWindowTitle(SetupQt(caption));
  QWidget* over = parent_ ? parent_->window() : nullptr;
  const QRect area =
      over ? over->frameGeometry()
           : (QApplication::primaryScreen() ? QApplication::primaryScreen()->availableGeometry()
                                            : QRect(0, 0, kWidth, kHeight));
  dialog_->move(area.center() - QPoint(kWidth / 2, kHeight / 2));
  dialog_->show();
  Repaint(dialog_.get());
}

void QtProgressSink::SetPosition(int position) {
  if (dialog_) dialog_->SetPosition(position);
}

void QtProgressSink::SetText(std::string_view text) {
  if (dialog_) dialog_->SetText(text);
}

void QtProgressSink::Close() {
  dialog_.reset();
}

void QtSetupMessages::Show(std::string_view text, int icon) {
  QMessageBox::Icon shown = QMessageBox::NoIcon;
  if (icon == MB_ICONSTOP) shown = QMessageBox::Critical;
  if (icon == MB_ICONEXCLAMATION) shown = QMessageBox::Warning;
  if (icon == MB_ICONINFORMATION) shown = QMessageBox::Information;
  QMessageBox box(shown, QStringLiteral("setup"), SetupQt(text), QMessageBox::Ok,
                  parent_ ? parent_ : QApplication::activeWindow());
  box.exec();
}

}  // namespace tamrix
