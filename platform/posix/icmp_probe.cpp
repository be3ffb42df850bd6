#include "platform/posix/icmp_probe.h"

#include <arpa/inet.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <random>

#include "common/deadline.h"
#include "platform/posix/ipv4_packet.h"

namespace tamrix {

namespace {

constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::size_t kReplyBufferSize = 4096;

std::uint16_t Get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

}  // namespace

std::uint16_t InternetChecksum(std::span<const std::uint8_t> bytes) {
  std::uint32_t sum = 0;
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2)
    sum += static_cast<std::uint32_t>(bytes[i] << 8 | bytes[i + 1]);
  if (i < bytes.size()) sum += static_cast<std::uint32_t>(bytes[i] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

std::vector<std::uint8_t> BuildEchoRequest(std::uint16_t identifier, std::uint16_t sequence) {
  std::vector<std::uint8_t> message(kIcmpHeaderSize + kEchoDataSize);
  message[0] = kEchoRequest;
  message[4] = static_cast<std::uint8_t>(identifier >> 8);
  message[5] = static_cast<std::uint8_t>(identifier);
  message[6] = static_cast<std::uint8_t>(sequence >> 8);
  message[7] = static_cast<std::uint8_t>(sequence);
  for (std::size_t i = 0; i < kEchoDataSize; ++i) {
    message[kIcmpHeaderSize + i] = static_cast<std::uint8_t>('a' + i % 23);
  }
  const std::uint16_t checksum = InternetChecksum(message);
  message[2] = static_cast<std::uint8_t>(checksum >> 8);
  message[3] = static_cast<std::uint8_t>(checksum);
  return message;
}

std::optional<std::span<const std::uint8_t>> IcmpInsideIpv4(std::span<const std::uint8_t> packet,
                                                            std::uint32_t& from) {
  const std::optional<Ipv4Packet> ip = ReadIpv4Packet(packet);
  if (!ip || ip->protocol != IPPROTO_ICMP) return std::nullopt;
  from = ip->source;
  return ip->payload;
}

bool IsOurEchoReply(std::span<const std::uint8_t> icmp, std::uint32_t from, std::uint32_t target,
                    std::uint16_t identifier, std::uint16_t sequence) {
  if (icmp.size() < kIcmpHeaderSize || from != target) return false;
  return icmp[0] == kEchoReply && icmp[1] == 0 && Get16(&icmp[4]) == identifier &&
         Get16(&icmp[6]) == sequence;
}

IcmpProbe::IcmpProbe(Socket socket) {
  const bool tryRaw = socket == Socket::kRawFirst;
  if (!(tryRaw && OpenRaw()) && !OpenPingSocket()) return;
  const int ttl = kEchoTimeToLive;
  const int tos = 0;
  setsockopt(fd_.get(), IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
  setsockopt(fd_.get(), IPPROTO_IP, IP_TOS, &tos, sizeof tos);
}

IcmpProbe::~IcmpProbe() = default;

bool IcmpProbe::OpenRaw() {
  fd_.Reset(socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
  if (!fd_.valid()) return false;
  raw_ = true;
  // A raw socket sees every ICMP message the host receives; only echo replies are let through.
  icmp_filter filter{~(1U << ICMP_ECHOREPLY)};
  setsockopt(fd_.get(), SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
  std::random_device random;
  identifier_ = static_cast<std::uint16_t>(random() ^ static_cast<unsigned>(getpid()));
  sequence_ = static_cast<std::uint16_t>(random());
  return true;
}

bool IcmpProbe::OpenPingSocket() {
  fd_.Reset(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP));
  if (!fd_.valid()) return false;
  raw_ = false;
  // The kernel puts the socket's own identifier into every echo; bind to learn it.
  sockaddr_in local{};
  local.sin_family = AF_INET;
  socklen_t size = sizeof local;
  if (bind(fd_.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&local), &size) != 0) {
    fd_.Reset();
    return false;
  }
  identifier_ = ntohs(local.sin_port);
  return true;
}

bool IcmpProbe::Matches(const std::uint8_t* data, std::size_t size, std::uint32_t from,
                        std::uint32_t target, std::uint16_t sequence) const {
  std::span<const std::uint8_t> received(data, size);
  if (raw_) {
    // Raw delivery comes before the kernel's own checks: a damaged reply is not an answer.
    auto icmp = IcmpInsideIpv4(received, from);
    if (!icmp || InternetChecksum(*icmp) != 0) return false;
    received = *icmp;
  }
  return IsOurEchoReply(received, from, target, identifier_, sequence);
}

int IcmpProbe::SendEcho(std::uint32_t address, int timeoutMilliseconds) {
  if (!fd_.valid()) return 0;
  const std::uint16_t sequence = ++sequence_;
  const std::vector<std::uint8_t> request = BuildEchoRequest(identifier_, sequence);
  // A raw socket receives every ICMP message of the host, also between probes; empty the queue
  // first so a full receive buffer can never drop the reply this probe waits for.
  std::array<std::uint8_t, kReplyBufferSize> buffer{};
  while (recv(fd_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT) >= 0) {
  }
  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_addr.s_addr = htonl(address);
  if (sendto(fd_.get(), request.data(), request.size(), 0,
             reinterpret_cast<const sockaddr*>(&destination), sizeof destination) < 0) {
    return 0;
  }
  const Deadline deadline(timeoutMilliseconds);
  for (;;) {
    const int left = deadline.LeftMs();
    pollfd waiting{fd_.get(), POLLIN, 0};
    const int ready = poll(&waiting, 1, left);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return 0;
    // Everything queued is looked at before the clock is read again.
    for (;;) {
      sockaddr_in source{};
      socklen_t sourceSize = sizeof source;
      const ssize_t n = recvfrom(fd_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&source), &sourceSize);
      if (n < 0) break;
      if (Matches(buffer.data(), static_cast<std::size_t>(n), ntohl(source.sin_addr.s_addr),
                  address, sequence)) {
        return 1;
      }
    }
    if (left <= 0) return 0;
  }
}

}  // namespace tamrix
