#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/lease_entry.h"
#include "control_panel/panel_settings.h"

namespace tamrix {

class FileSystem;

inline constexpr int kReservationSlots = 256;

// The page's copy of the lease database: slot i stands for base + i.
struct ReservationTable {
  std::uint32_t base = 0;
  std::array<LeaseEntry, kReservationSlots> entries{};

  // All slots free, addresses from start on.
  void Reset(std::uint32_t start);
  // Moves to a new first address, keeping the held entries that still have a slot.
  void Rebase(std::uint32_t start);
  // The slot of an address among the first count slots, or null.
  LeaseEntry* Find(std::uint32_t address, int count);
};

// The pool as the settings give it now: start, end and count (0 to 256; 0 when not usable).
struct PoolRange {
  std::uint32_t start = 0, end = 0;
  int count = 0;
};
PoolRange CurrentPool(const PanelSettings& settings);

// Reads TAMRIX.db into a table for the settings' pool; a missing file or one for another pool
// gives an all-free table.
void LoadReservationTable(FileSystem& files, const std::string& path,
                          const PanelSettings& settings, ReservationTable& table);
// Writes TAMRIX.db for the settings' pool: false when the file could not be replaced.
bool SaveReservationTable(FileSystem& files, const std::string& path,
                          const PanelSettings& settings, const ReservationTable& table);

// What a button did: the message it shows (0 for none) and whether it changed the table.
struct EditResult {
  int message = 0;
  bool modified = false;
};

// CPropertyReserve: reservations, disabled addresses, release and look-up over the table. The
// fields and list lines are UTF-8; host names in the table stay cp932 bytes.
class ReservePage {
 public:
  explicit ReservePage(const PanelSettings& settings) : settings_(settings) {}

  void Load(FileSystem& files, const std::string& path);
  bool Save(FileSystem& files, const std::string& path);

  std::string clientId, hostName, address;  // fields 1042, 1043, 1044
  int selectedRow = -1;                     // row of list 1040, -1 for none

  // "%c\t%3d.%3d.%3d.%3d\t%s" for each entry in use, in address order.
  std::vector<std::string> ListLines();

  bool BrowseEnabled() const { return selectedRow >= 0; }
  bool ReleaseEnabled() const { return selectedRow >= 0; }
  bool DisableEnabled() const { return !address.empty(); }
  bool ReserveEnabled() const {
    return !clientId.empty() && !hostName.empty() && !address.empty();
  }

  EditResult Reserve();  // 予約
  EditResult Disable();  // 無効化
  EditResult Browse();   // 参照
  EditResult Release();  // 解除

  const ReservationTable& table() const { return table_; }

 private:
  // Follows an applied change of the pool's first address.
  PoolRange SyncPool();
  // The address field checked against the pool (127, 128, 129), or its slot.
  LeaseEntry* AddressSlot(const PoolRange& pool, int& message);
  // Index of the table entry shown in a row, or -1.
  int EntryOfRow(int row);

  const PanelSettings& settings_;
  ReservationTable table_;
};

}  // namespace tamrix
