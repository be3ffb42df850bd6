#pragma once

#include <QDialog>

#include "common/lease_entry.h"

namespace tamrix {

// CLeaseDetailDialog: "詳細情報" for one lease. Ends accepted through 削除 (release the lease),
// rejected through 閉じる.
class CLeaseDetailDialog final : public QDialog {
 public:
  explicit CLeaseDetailDialog(const LeaseEntry& entry, QWidget* parent = nullptr);
};

}  // namespace tamrix
