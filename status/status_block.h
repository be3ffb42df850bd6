#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/lease_entry.h"
#include "platform/shared_block.h"

namespace tamrix {

// The layout of the block the service and the control panel share. Both sides read and write it
// field by field at these offsets (little-endian), never through a struct laid over the bytes.
namespace StatusBlock {
inline constexpr std::size_t kCommandOffset = 0;
inline constexpr std::size_t kResultOffset = 4;
inline constexpr std::size_t kRequestSlotOffset = 8;
inline constexpr std::size_t kSlotsOffset = 12;
inline constexpr std::size_t kSlotCount = 256;
inline constexpr std::size_t kSlotSize = 96;
inline constexpr std::size_t kSize = kSlotsOffset + kSlotCount * kSlotSize;
static_assert(kSize == 24588);
static_assert(kSlotSize == sizeof(LeaseEntry));

// Offsets inside one slot.
inline constexpr std::size_t kEntryStateOffset = 0;
inline constexpr std::size_t kEntryAddressOffset = 4;
inline constexpr std::size_t kEntryClientOffset = 8;  // length byte, then 17 bytes
inline constexpr std::size_t kEntryHostNameOffset = 26;
inline constexpr std::size_t kEntryUnusedOffset = 90;
inline constexpr std::size_t kEntryExpiryOffset = 92;
static_assert(kEntryClientOffset + 1 + kMaxClientIdLength == kEntryHostNameOffset);
static_assert(kEntryHostNameOffset + kHostNameField == kEntryUnusedOffset);
static_assert(kEntryExpiryOffset + 4 == kSlotSize);
}  // namespace StatusBlock

// The block, its two events and its exchange lock, by the names in common/meeting_names.h.
SharedBlockNames StatusBlockNames();

inline constexpr std::uint32_t CMD_SNAPSHOT = 1;
inline constexpr std::uint32_t CMD_RELEASE = 2;

// A view of the block's bytes. Every accessor checks that the field lies inside the view, so a
// short mapping can never be read or written past its end (a read answers 0 instead).
class StatusBlockView {
 public:
  explicit StatusBlockView(std::span<std::uint8_t> bytes) : bytes_(bytes) {}

  bool IsComplete() const { return bytes_.size() >= StatusBlock::kSize; }

  // The command word is the one field both parties look at while the other may be writing: it is
  // read and written as one atomic word, so the service's 0 is seen only after its answer.
  std::uint32_t Command() const;
  void SetCommand(std::uint32_t value);
  void PublishCommandDone() { SetCommand(0); }
  std::int32_t Result() const {
    return static_cast<std::int32_t>(ReadU32(StatusBlock::kResultOffset));
  }
  void SetResult(std::int32_t value) {
    WriteU32(StatusBlock::kResultOffset, static_cast<std::uint32_t>(value));
  }
  std::uint32_t RequestSlot() const { return ReadU32(StatusBlock::kRequestSlotOffset); }
  void SetRequestSlot(std::uint32_t value) { WriteU32(StatusBlock::kRequestSlotOffset, value); }

  // Slots outside 0..255 are refused: false, and nothing is touched.
  bool ReadEntry(std::size_t slot, LeaseEntry& entry) const;
  bool WriteEntry(std::size_t slot, const LeaseEntry& entry);

  std::uint32_t ReadU32(std::size_t offset) const;
  void WriteU32(std::size_t offset, std::uint32_t value);

 private:
  bool Fits(std::size_t offset, std::size_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }

  std::span<std::uint8_t> bytes_;
};

}  // namespace tamrix
