#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dhcp_message.h"

namespace tamrix::testing {

inline constexpr std::array<std::uint8_t, 6> kTestMac{0x00, 0xA0, 0xC9, 0x12, 0x34, 0x56};

// Builds client requests byte by byte: a good request, then one field changed at a time.
class PacketBuilder {
 public:
  PacketBuilder() {
    header_[0] = 1;  // BOOTREQUEST
    header_[1] = 1;
    header_[2] = 6;
    Put32(dhcp_offset::kXid, 0x12345678);
    Mac(kTestMac);
  }

  PacketBuilder& Type(std::uint8_t type) { return Option(dhcp_option::kMessageType, {type}); }
  PacketBuilder& Option(std::uint8_t code, std::vector<std::uint8_t> data) {
    options_.push_back(code);
    options_.push_back(static_cast<std::uint8_t>(data.size()));
    options_.insert(options_.end(), data.begin(), data.end());
    return *this;
  }
  PacketBuilder& AddressOption(std::uint8_t code, std::uint32_t address) {
    return Option(
        code, {static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
               static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)});
  }
  PacketBuilder& Requested(std::uint32_t address) {
    return AddressOption(dhcp_option::kRequestedAddress, address);
  }
  PacketBuilder& HostName(std::string_view name) {
    return Option(dhcp_option::kHostName, std::vector<std::uint8_t>(name.begin(), name.end()));
  }
  PacketBuilder& Raw(std::vector<std::uint8_t> bytes) {
    options_.insert(options_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  PacketBuilder& Pads(std::size_t count) { return Raw(std::vector<std::uint8_t>(count, 0)); }
  PacketBuilder& NoCookie() {
    cookie_ = false;
    return *this;
  }
  PacketBuilder& NoEnd() {
    end_ = false;
    return *this;
  }
  PacketBuilder& Field8(std::size_t offset, std::uint8_t value) {
    header_[offset] = value;
    return *this;
  }
  PacketBuilder& Field16(std::size_t offset, std::uint16_t value) {
    header_[offset] = static_cast<std::uint8_t>(value >> 8);
    header_[offset + 1] = static_cast<std::uint8_t>(value);
    return *this;
  }
  PacketBuilder& Field32(std::size_t offset, std::uint32_t value) {
    Put32(offset, value);
    return *this;
  }
  PacketBuilder& Ciaddr(std::uint32_t a) { return Field32(dhcp_offset::kCiaddr, a); }
  PacketBuilder& Giaddr(std::uint32_t a) { return Field32(dhcp_offset::kGiaddr, a); }
  PacketBuilder& Mac(std::span<const std::uint8_t> mac) {
    for (std::size_t i = 0; i < 16; ++i)
      header_[dhcp_offset::kChaddr + i] = i < mac.size() ? mac[i] : 0;
    return *this;
  }
  // Pads the datagram with zeros up to a size (clients usually send at least 300 bytes).
  PacketBuilder& PadTo(std::size_t size) {
    padTo_ = size;
    return *this;
  }

  std::vector<std::uint8_t> Build() const {
    std::vector<std::uint8_t> bytes(header_.begin(), header_.end());
    if (cookie_)
      bytes.insert(bytes.end(), kMagicCookie.begin(), kMagicCookie.end());
    else
      bytes.insert(bytes.end(), 4, 0);
    bytes.insert(bytes.end(), options_.begin(), options_.end());
    if (end_) bytes.push_back(dhcp_option::kEnd);
    if (bytes.size() < padTo_) bytes.resize(padTo_, 0);
    return bytes;
  }

 private:
  void Put32(std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
      header_[offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
  }

  std::array<std::uint8_t, dhcp_offset::kCookie> header_{};
  std::vector<std::uint8_t> options_;
  bool cookie_ = true;
  bool end_ = true;
  std::size_t padTo_ = 0;
};

struct WrittenOption {
  std::size_t offset;
  std::uint8_t code;
  std::vector<std::uint8_t> data;
};

// The options of a reply from offset 240 up to the end option; stops short (without endOffset)
// when an option would run past the buffer.
struct WrittenOptions {
  std::vector<WrittenOption> options;
  std::size_t endOffset = 0;  // 0 = no end option found inside the buffer

  const WrittenOption* Find(std::uint8_t code) const {
    for (const auto& o : options)
      if (o.code == code) return &o;
    return nullptr;
  }
  std::vector<std::uint8_t> Codes() const {
    std::vector<std::uint8_t> codes;
    for (const auto& o : options) codes.push_back(o.code);
    return codes;
  }
};

inline WrittenOptions WalkOptions(std::span<const std::uint8_t> bytes) {
  WrittenOptions out;
  std::size_t i = dhcp_offset::kOptions;
  while (i < bytes.size()) {
    const std::uint8_t code = bytes[i];
    if (code == dhcp_option::kEnd) {
      out.endOffset = i;
      return out;
    }
    if (i + 1 >= bytes.size() || i + 2 + bytes[i + 1] > bytes.size()) return out;
    const std::size_t length = bytes[i + 1];
    out.options.push_back({i, code, {bytes.begin() + i + 2, bytes.begin() + i + 2 + length}});
    i += 2 + length;
  }
  return out;
}

inline std::uint32_t BigEndianAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return (std::uint32_t{bytes[offset]} << 24) | (std::uint32_t{bytes[offset + 1]} << 16) |
         (std::uint32_t{bytes[offset + 2]} << 8) | bytes[offset + 3];
}

inline std::vector<std::uint8_t> Be32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

inline std::vector<std::uint8_t> Be32Pair(std::uint32_t a, std::uint32_t b) {
  auto v = Be32(a);
  const auto w = Be32(b);
  v.insert(v.end(), w.begin(), w.end());
  return v;
}

}  // namespace tamrix::testing
