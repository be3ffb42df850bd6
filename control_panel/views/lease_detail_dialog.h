#pragma once

#include <QDialog>

#include "common/lease_entry.h"

namespace tamrix {

// CLeaseDetailDialog: "詳細情報" for one lease. Ends accepted through 削除 (release the lease),
// with kReserved through 予約 (make it a reservation; offered only when reservable), rejected
// through 閉じる.
class CLeaseDetailDialog final : public QDialog {
 public:
  static constexpr int kReserved = QDialog::Accepted + 1;

  CLeaseDetailDialog(const LeaseEntry& entry, bool reservable, QWidget* parent = nullptr);
};

}  // namespace tamrix
