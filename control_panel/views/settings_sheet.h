#pragma once

#include <QDialog>
#include <vector>

#include "control_panel/views/settings_page.h"

class QDialogButtonBox;
class QPushButton;
class QTabWidget;

namespace tamrix {

// CSettingsSheet: the modal sheet "TAMRIX 設定". Leaving a tab runs its check; OK and apply
// apply every page shown so far in tab order; OK then stores every group; cancel writes nothing
// more.
class SettingsSheet final : public QDialog {
 public:
  SettingsSheet(SheetContext context, QWidget* parent = nullptr);

  QTabWidget* tabs() const { return tabs_; }
  SettingsPage* page(int index) const { return pages_[static_cast<std::size_t>(index)]; }
  int pageCount() const { return static_cast<int>(pages_.size()); }
  bool modified() const { return modified_; }

  // The buttons' actions; true when the sheet went on (apply) or closed (OK).
  bool PressOk();
  bool PressApply();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void OnTabChanged(int index);
  bool CheckCurrentPage();
  void ApplyShownPages();
  void SetModified(bool on);

  SheetContext context_;
  QTabWidget* tabs_;
  QPushButton* apply_;
  std::vector<SettingsPage*> pages_;
  std::vector<bool> shown_;
  int current_ = 0;
  bool switching_ = false;
  bool modified_ = false;
};

}  // namespace tamrix
