#pragma once

#include <QDialog>

#include "common/operator_report.h"
#include "control_panel/operator_view.h"

class QLabel;
class QLineEdit;
class QTreeWidget;

namespace tamrix {

// "拒否履歴": the requests the service did not serve, newest first, narrowed by a client filter;
// the selected one's reason says what to do about it.
class CRefusalWindow final : public QDialog {
 public:
  // known: whether the service answered; without a report the window says so.
  CRefusalWindow(const OperatorReport& report, bool known, QWidget* parent = nullptr);

  QTreeWidget* list() const { return list_; }

 private:
  QWidget* MakeRecentGroup(const OperatorReport& report, bool known);
  QWidget* MakeRemedyGroup();
  void ApplyFilter();
  void ShowAdvice();

  RefusalListing listing_;
  QLineEdit* filter_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QLabel* advice_ = nullptr;
  QLabel* duid_ = nullptr;
};

}  // namespace tamrix
