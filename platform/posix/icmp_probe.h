#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/conflict_probe.h"
#include "platform/posix/unique_fd.h"

namespace tamrix {

inline constexpr std::size_t kEchoDataSize = 64;
inline constexpr int kEchoTimeToLive = 128;

// An ICMP echo request: type 8, code 0, checksum, identifier, sequence, then the data.
std::vector<std::uint8_t> BuildEchoRequest(std::uint16_t identifier, std::uint16_t sequence);

// The ICMP message inside a received IPv4 packet (what a raw socket delivers), after checking
// that the header is whole and says ICMP; its source address (host order) is stored in `from`.
std::optional<std::span<const std::uint8_t>> IcmpInsideIpv4(std::span<const std::uint8_t> packet,
                                                            std::uint32_t& from);

// The Internet checksum of the bytes (0 over a message whose checksum field is right).
std::uint16_t InternetChecksum(std::span<const std::uint8_t> bytes);

// True for an echo reply from `target` (host order) that answers our identifier and
// sequence; replies from other hosts or to other probes are not ours.
bool IsOurEchoReply(std::span<const std::uint8_t> icmp, std::uint32_t from, std::uint32_t target,
                    std::uint16_t identifier, std::uint16_t sequence);

// The real probe: one echo of 64 bytes with time-to-live 128 per call, through a raw ICMP socket
// or, where that is not allowed, an unprivileged ping socket. When neither can be opened it
// hears nothing (0), so the server goes on offering.
class IcmpProbe final : public ConflictProbe {
 public:
  enum class Socket { kRawFirst, kPingSocketOnly };
  explicit IcmpProbe(Socket socket = Socket::kRawFirst);
  ~IcmpProbe() override;
  IcmpProbe(const IcmpProbe&) = delete;
  IcmpProbe& operator=(const IcmpProbe&) = delete;

  int SendEcho(std::uint32_t address, int timeoutMilliseconds) override;
  bool IsOpen() const { return fd_.valid(); }
  bool IsRaw() const { return raw_; }

 private:
  bool OpenRaw();
  bool OpenPingSocket();
  bool Matches(const std::uint8_t* data, std::size_t size, std::uint32_t from, std::uint32_t target,
               std::uint16_t sequence) const;

  UniqueFd fd_;
  bool raw_ = false;  // replies arrive with their IP header
  std::uint16_t identifier_ = 0;
  std::uint16_t sequence_ = 0;
};

}  // namespace tamrix
