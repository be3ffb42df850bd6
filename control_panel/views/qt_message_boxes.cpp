#include "control_panel/views/qt_message_boxes.h"

#include <QApplication>
#include <QMessageBox>

#include "control_panel/views/page_widgets.h"

namespace tamrix {
namespace {

QWidget* Owner(QWidget* parent) { return parent ? parent : QApplication::activeWindow(); }

// A plain box without an icon, captioned with the program's name.
int Run(QWidget* parent, std::string_view text, QMessageBox::StandardButtons buttons) {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("TAMRIX"), Qt8(text), buttons,
                  Owner(parent));
  box.setDefaultButton(QMessageBox::Ok);
  return box.exec();
}

}  // namespace

void QtMessageBoxes::ShowMessage(int, std::string_view text) {
  Run(parent_, text, QMessageBox::Ok);
}

bool QtMessageBoxes::AskOkCancel(int, std::string_view text) {
  return Run(parent_, text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

}  // namespace tamrix
