#include "control_panel/views/qt_message_boxes.h"

#include <QApplication>
#include <QMessageBox>

#include "control_panel/views/page_widgets.h"

namespace tamrix {
namespace {

QWidget* Owner(QWidget* parent) { return parent ? parent : QApplication::activeWindow(); }

}  // namespace

void QtMessageBoxes::ShowMessage(int, std::string_view text) {
  QMessageBox::warning(Owner(parent_), QStringLiteral("TAMRIX"), Qt8(text), QMessageBox::Ok);
}

bool QtMessageBoxes::AskOkCancel(int, std::string_view text) {
  return QMessageBox::warning(Owner(parent_), QStringLiteral("TAMRIX"), Qt8(text),
                              QMessageBox::Ok | QMessageBox::Cancel,
                              QMessageBox::Ok) == QMessageBox::Ok;
}

}  // namespace tamrix
