#include "status/status_block.h"

#include <atomic>
#include <bit>
#include <cstring>

#include "common/meeting_names.h"

namespace tamrix {

namespace {

std::size_t SlotOffset(std::size_t slot) {
  return StatusBlock::kSlotsOffset + slot * StatusBlock::kSlotSize;
}

}  // namespace

SharedBlockNames StatusBlockNames() {
  return {meeting::kStatusBlock, meeting::kStatusRequestEvent, meeting::kStatusTurnEvent,
          meeting::kStatusExchangeLock};
}

static_assert(std::endian::native == std::endian::little,
              "the command word is accessed as a native word and stored little-endian");

std::uint32_t StatusBlockView::Command() const {
  if (!Fits(StatusBlock::kCommandOffset, 4)) return 0;
  void* p = bytes_.data() + StatusBlock::kCommandOffset;
  if (reinterpret_cast<std::uintptr_t>(p) % alignof(std::uint32_t) != 0) {
    const std::uint32_t value = ReadU32(StatusBlock::kCommandOffset);
    std::atomic_thread_fence(std::memory_order_acquire);
    return value;
  }
  return std::atomic_ref<std::uint32_t>(*static_cast<std::uint32_t*>(p))
      .load(std::memory_order_acquire);
}

void StatusBlockView::SetCommand(std::uint32_t value) {
  if (!Fits(StatusBlock::kCommandOffset, 4)) return;
  void* p = bytes_.data() + StatusBlock::kCommandOffset;
  if (reinterpret_cast<std::uintptr_t>(p) % alignof(std::uint32_t) != 0) {
    std::atomic_thread_fence(std::memory_order_release);
    WriteU32(StatusBlock::kCommandOffset, value);
    return;
  }
  std::atomic_ref<std::uint32_t>(*static_cast<std::uint32_t*>(p))
      .store(value, std::memory_order_release);
}

std::uint32_t StatusBlockView::ReadU32(std::size_t offset) const {
  if (!Fits(offset, 4)) return 0;
  const std::uint8_t* p = bytes_.data() + offset;
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void StatusBlockView::WriteU32(std::size_t offset, std::uint32_t value) {
  if (!Fits(offset, 4)) return;
  std::uint8_t* p = bytes_.data() + offset;
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool StatusBlockView::ReadEntry(std::size_t slot, LeaseEntry& entry) const {
  if (slot >= StatusBlock::kSlotCount) return false;
  const std::size_t base = SlotOffset(slot);
  if (!Fits(base, StatusBlock::kSlotSize)) return false;
  const std::uint8_t* p = bytes_.data() + base;
  entry.state = ReadU32(base + StatusBlock::kEntryStateOffset);
  entry.address = ReadU32(base + StatusBlock::kEntryAddressOffset);
  entry.client.length = p[StatusBlock::kEntryClientOffset];
  std::memcpy(entry.client.bytes.data(), p + StatusBlock::kEntryClientOffset + 1,
              entry.client.bytes.size());
  std::memcpy(entry.hostName.data(), p + StatusBlock::kEntryHostNameOffset, entry.hostName.size());
  std::memcpy(entry.unused.data(), p + StatusBlock::kEntryUnusedOffset, entry.unused.size());
  entry.expiry = static_cast<Seconds>(ReadU32(base + StatusBlock::kEntryExpiryOffset));
  return true;
}

bool StatusBlockView::WriteEntry(std::size_t slot, const LeaseEntry& entry) {
  if (slot >= StatusBlock::kSlotCount) return false;
  const std::size_t base = SlotOffset(slot);
  if (!Fits(base, StatusBlock::kSlotSize)) return false;
  std::uint8_t* p = bytes_.data() + base;
  WriteU32(base + StatusBlock::kEntryStateOffset, entry.state);
  WriteU32(base + StatusBlock::kEntryAddressOffset, entry.address);
  p[StatusBlock::kEntryClientOffset] = entry.client.length;
  std::memcpy(p + StatusBlock::kEntryClientOffset + 1, entry.client.bytes.data(),
              entry.client.bytes.size());
  std::memcpy(p + StatusBlock::kEntryHostNameOffset, entry.hostName.data(), entry.hostName.size());
  std::memcpy(p + StatusBlock::kEntryUnusedOffset, entry.unused.data(), entry.unused.size());
  WriteU32(base + StatusBlock::kEntryExpiryOffset, static_cast<std::uint32_t>(entry.expiry));
  return true;
}

}  // namespace tamrix
