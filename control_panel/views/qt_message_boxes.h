#pragma once

#include "control_panel/message_boxes.h"

class QWidget;

namespace tamrix {

// Message boxes on screen, captioned with the program's name.
class QtMessageBoxes final : public MessageBoxes {
 public:
  explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }
  void ShowMessage(int number, std::string_view text) override;
  bool AskOkCancel(int number, std::string_view text) override;

 private:
  QWidget* parent_;
};

}  // namespace tamrix
