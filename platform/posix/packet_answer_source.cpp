#include "platform/posix/packet_answer_source.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <iterator>

#include "common/address.h"
#include "platform/posix/ipv4_packet.h"

#ifndef PACKET_IGNORE_OUTGOING
#define PACKET_IGNORE_OUTGOING 23
#endif

namespace tamrix {
namespace {

constexpr std::size_t kUdpHeaderSize = 8;
// A jumbo frame's payload: no answer on Ethernet is longer, and a longer packet arrives cut short
// and is refused. The buffer is this size, and resident while the server runs.
constexpr std::size_t kLargestPacket = 9216;
// The longest Stop waits should its eventfd not wake the thread, and the most packets taken in a
// row before the thread looks at the stop flag again.
constexpr int kStopCheckMilliseconds = 1000;
constexpr int kPacketsPerLook = 64;

// Runs on the IP header (a datagram socket's packets start there): IPv4, UDP, unfragmented, from
// port 67 to port 68. Everything else stays in the kernel.
constexpr sock_filter kAnswersOnly[] = {
    BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 0),                     // version and header length
    BPF_STMT(BPF_ALU | BPF_AND | BPF_K, 0xF0),                 //
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0x40, 0, 10),          // IPv4, else drop
    BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 9),                     // protocol
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, IPPROTO_UDP, 0, 8),    // UDP, else drop
    BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 6),                     // flags and fragment offset
    BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kIpv4FragmentBits, 6, 0),  // a fragment: drop
    BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),                    // X = IP header length
    BPF_STMT(BPF_LD | BPF_H | BPF_IND, 0),                     // UDP source port
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kServerPort, 0, 3),    // 67, else drop
    BPF_STMT(BPF_LD | BPF_H | BPF_IND, 2),                     // UDP destination port
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kClientPort, 0, 1),    // 68, else drop
    BPF_STMT(BPF_RET | BPF_K, kLargestPacket),                 // keep up to the buffer's size
    BPF_STMT(BPF_RET | BPF_K, 0),                              // drop
};

std::uint16_t Get16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}

// A packet socket made with protocol 0 hears nothing until it is bound, so the filter is in
// place before the first packet can be queued.
UniqueFd OpenAnswerSocket() {
  UniqueFd fd(::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return fd;  // EPERM without CAP_NET_RAW
  const sock_fprog program{static_cast<unsigned short>(std::size(kAnswersOnly)),
                           const_cast<sock_filter*>(kAnswersOnly)};
  // Without the filter every IPv4 packet of the segment would be copied up: refuse instead.
  if (::setsockopt(fd.get(), SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0) {
    return UniqueFd();
  }
  // Kernels before 4.20 lack the option; the packet type check in ReceiveQueued does its work.
  const int on = 1;
  ::setsockopt(fd.get(), SOL_PACKET, PACKET_IGNORE_OUTGOING, &on, sizeof on);
  sockaddr_ll everywhere{};
  everywhere.sll_family = AF_PACKET;
  everywhere.sll_protocol = htons(ETH_P_IP);
  everywhere.sll_ifindex = 0;  // every interface, also those that come up later
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&everywhere), sizeof everywhere) != 0) {
    return UniqueFd();
  }
  return fd;
}

// Only what came in over Ethernet from another machine: not our own packets going out or
// looped back, not loopback's, and only with a sender whose hardware address the alarm can name.
bool IsFromAnotherHost(const sockaddr_ll& from, socklen_t size) {
  return size >= sizeof from && from.sll_hatype == ARPHRD_ETHER && from.sll_halen == 6 &&
         from.sll_pkttype != PACKET_OUTGOING && from.sll_pkttype != PACKET_LOOPBACK;
}

}  // namespace

bool ReadDhcpAnswer(std::span<const std::uint8_t> packet, HeardAnswer& answer) {
  const std::optional<Ipv4Packet> ip = ReadIpv4Packet(packet);
  if (!ip || ip->cut || ip->fragment || ip->protocol != IPPROTO_UDP ||
      ip->payload.size() < kUdpHeaderSize) {
    return false;
  }
  const std::span<const std::uint8_t> udp = ip->payload;
  const std::size_t udpSize = Get16(udp, 4);
  if (Get16(udp, 0) != kServerPort || Get16(udp, 2) != kClientPort || udpSize < kUdpHeaderSize ||
      udpSize > udp.size()) {
    return false;
  }
  answer.message = udp.subspan(kUdpHeaderSize, udpSize - kUdpHeaderSize);
  answer.sourceAddress = ip->source;
  return true;
}

PacketAnswerSource::~PacketAnswerSource() {
  Stop();
}

int PacketAnswerSource::Start(std::function<void(const HeardAnswer&)> heard) {
  Stop();
  UniqueFd socket = OpenAnswerSocket();
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!socket.valid() || !wake.valid()) return 0;
  socket_ = std::move(socket);
  wake_ = std::move(wake);
  heard_ = std::move(heard);
  stopping_.store(false);
  try {
    buffer_.resize(kLargestPacket);
    thread_ = std::thread([this] { Listen(); });
  } catch (const std::exception&) {
    socket_.Reset();
    wake_.Reset();
    return 0;
  }
  return 1;
}

void PacketAnswerSource::Stop() {
  if (!thread_.joinable()) return;
  stopping_.store(true);
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(wake_.get(), &one, sizeof one);
  thread_.join();
  socket_.Reset();
  wake_.Reset();
  heard_ = nullptr;
}

void PacketAnswerSource::Listen() {
  while (!stopping_.load()) {
    pollfd fds[2] = {{wake_.get(), POLLIN, 0}, {socket_.get(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, kStopCheckMilliseconds);
    if (ready < 0 && errno != EINTR) {
      // Out of kernel memory, say: try again a little later rather than spin.
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    if (ready <= 0 || fds[1].revents == 0) continue;
    for (int taken = 0; taken < kPacketsPerLook && !stopping_.load() && ReceiveQueued(); ++taken) {
    }
  }
}

bool PacketAnswerSource::ReceiveQueued() {
  sockaddr_ll from{};
  socklen_t fromSize = sizeof from;
  const ssize_t got = ::recvfrom(socket_.get(), buffer_.data(), buffer_.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &fromSize);
  if (got < 0) return errno == EINTR;
  HeardAnswer answer;
  if (!IsFromAnotherHost(from, fromSize) ||
      !ReadDhcpAnswer(std::span(buffer_.data(), static_cast<std::size_t>(got)), answer)) {
    return true;  // not an answer we can use; the next one may be
  }
  std::copy_n(from.sll_addr, answer.sourceHardwareAddress.size(),
              answer.sourceHardwareAddress.begin());
  try {
    heard_(answer);
  } catch (const std::exception&) {
    // Out of memory while recording it: the answer is lost, the watch goes on.
  }
  return true;
}

}  // namespace tamrix
