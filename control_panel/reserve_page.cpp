#include "control_panel/reserve_page.h"

#include <cstdio>

#include "common/address.h"
#include "control_panel/client_id_text.h"
#include "control_panel/panel_messages.h"
#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "storage/lease_database.h"
#include "storage/lease_store.h"

namespace tamrix {
namespace {

bool InPool(const PoolRange& pool, std::uint32_t address) {
  return pool.count > 0 && address >= pool.start && address <= pool.end;
}

}  // namespace

void ReservationTable::Reset(std::uint32_t start) {
  base = start;
  for (int i = 0; i < kReservationSlots; ++i) {
    entries[i] = LeaseEntry{};
    entries[i].address = start + static_cast<std::uint32_t>(i);
  }
}

void ReservationTable::Rebase(std::uint32_t start) {
  const auto old = entries;
  Reset(start);
  for (const LeaseEntry& entry : old) {
    if (!IsHeld(entry.state)) continue;
    const std::uint32_t slot = entry.address - start;
    if (slot < static_cast<std::uint32_t>(kReservationSlots)) entries[slot] = entry;
  }
}

LeaseEntry* ReservationTable::Find(std::uint32_t address, int count) {
  for (int i = 0; i < count && i < kReservationSlots; ++i) {
    if (entries[i].address == address) return &entries[i];
  }
  return nullptr;
}

PoolRange CurrentPool(const PanelSettings& settings) {
  PoolRange pool;
  pool.start = ParseAddress(settings.StartIPAddr);
  pool.end = ParseAddress(settings.EndIPAddr);
  const bool usable = pool.start != 0 && pool.start != kAddressNone && pool.end != 0 &&
                      pool.end != kAddressNone && pool.end >= pool.start;
  if (usable) {
    const std::uint32_t span = pool.end - pool.start;
    pool.count = span >= static_cast<std::uint32_t>(kReservationSlots)
                     ? kReservationSlots
                     : static_cast<int>(span) + 1;
  }
  return pool;
}

void LoadReservationTable(FileSystem& files, const std::string& path,
                          const PanelSettings& settings, ReservationTable& table) {
  const PoolRange pool = CurrentPool(settings);
  table.Reset(pool.start);
  // The journal a crashed server left is part of the database; the save below folds it in.
  const LeaseDatabaseRead read = ReadLeaseDatabase(files, LeaseFiles::Beside(path));
  const LeaseDatabaseFile& file = read.file;
  if (file.poolStart != pool.start || file.poolEnd != pool.end) return;
  for (const StoredLease& stored : file.leases) {
    if (LeaseEntry* entry = table.Find(stored.address, pool.count)) RestoreEntry(stored, *entry);
  }
}

bool SaveReservationTable(FileSystem& files, const std::string& path,
                          const PanelSettings& settings, const ReservationTable& table) {
  const PoolRange pool = CurrentPool(settings);
  return WriteLeaseDatabase(files, LeaseFiles::Beside(path),
                            FormatLeaseDatabase(pool.start, pool.end, table.entries));
}

void ReservePage::Load(FileSystem& files, const std::string& path) {
  LoadReservationTable(files, path, settings_, table_);
}

bool ReservePage::Save(FileSystem& files, const std::string& path) {
  SyncPool();
  return SaveReservationTable(files, path, settings_, table_);
}

PoolRange ReservePage::SyncPool() {
  const PoolRange pool = CurrentPool(settings_);
  if (pool.start != table_.base) table_.Rebase(pool.start);
  return pool;
}

std::vector<std::string> ReservePage::ListLines() {
  const PoolRange pool = SyncPool();
  std::vector<std::string> lines;
  for (int i = 0; i < pool.count; ++i) {
    const LeaseEntry& e = table_.entries[i];
    if (!IsHeld(e.state)) continue;
    char head[32];
    std::snprintf(head, sizeof head, "%c\t%3u.%3u.%3u.%3u\t", HasReservedBit(e.state) ? '+' : ' ',
                  e.address >> 24, (e.address >> 16) & 0xFF, (e.address >> 8) & 0xFF,
                  e.address & 0xFF);
    lines.push_back(head + Cp932ToUtf8(HostName(e)));
  }
  return lines;
}

int ReservePage::EntryOfRow(int row) {
  const PoolRange pool = SyncPool();
  if (row < 0) return -1;
  for (int i = 0; i < pool.count; ++i) {
    if (IsHeld(table_.entries[i].state) && row-- == 0) return i;
  }
  return -1;
}

LeaseEntry* ReservePage::AddressSlot(const PoolRange& pool, int& message) {
  if (address.empty()) {
    message = MSG_ADDRESS_EMPTY;
    return nullptr;
  }
  const std::uint32_t value = ParseAddress(address);
  if (value == 0 || value == kAddressNone) {
    message = MSG_ADDRESS_INVALID;
    return nullptr;
  }
  LeaseEntry* slot = InPool(pool, value) ? table_.Find(value, pool.count) : nullptr;
  if (slot == nullptr) message = MSG_ADDRESS_NOT_RESERVABLE;
  return slot;
}

EditResult ReservePage::Reserve() {
  if (hostName.empty()) return {MSG_HOST_EMPTY};
  if (clientId.empty()) return {MSG_CLIENT_EMPTY};
  if (address.empty()) return {MSG_ADDRESS_EMPTY};
  const PoolRange pool = SyncPool();
  int message = 0;
  LeaseEntry* slot = AddressSlot(pool, message);
  if (slot == nullptr) return {message};
  const auto id = ParseClientIdText(clientId);
  if (!id) return {MSG_CLIENT_INVALID};
  if (slot->state != LEASE_FREE && !(slot->client == *id)) return {MSG_ADDRESS_RESERVED};

  // A client keeps one address only.
  for (LeaseEntry& e : table_.entries) {
    if (IsHeld(e.state) && e.client == *id) e.state = LEASE_FREE;
  }
  slot->state = LEASE_RESERVED;
  slot->client = *id;
  SetHostName(*slot, Cp932Prefix(Utf8ToCp932(hostName), kMaxHostNameLength));
  slot->expiry = 0;
  selectedRow = -1;
  return {0, true};
}

EditResult ReservePage::Disable() {
  const PoolRange pool = SyncPool();
  int message = 0;
  LeaseEntry* slot = AddressSlot(pool, message);
  if (slot == nullptr) return {message};
  if (slot->state != LEASE_FREE) return {MSG_ADDRESS_IN_USE};
  slot->state = LEASE_RESERVED;
  slot->client = ClientId{};
  SetHostName(*slot, kDisabledHostName);
  slot->expiry = 0;
  selectedRow = -1;
  return {0, true};
}

EditResult ReservePage::Browse() {
  const int index = EntryOfRow(selectedRow);
  if (index < 0) return {MSG_SELECT_ITEM};
  const LeaseEntry& e = table_.entries[index];
  address = FormatAddress(e.address);
  clientId = FormatClientId(e.client);
  hostName = Cp932ToUtf8(HostName(e));
  return {};
}

EditResult ReservePage::Release() {
  const int index = EntryOfRow(selectedRow);
  if (index < 0) return {MSG_SELECT_ITEM};
  table_.entries[index].state = LEASE_FREE;
  selectedRow = -1;
  return {0, true};
}

}  // namespace tamrix
