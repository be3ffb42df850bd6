#include "platform/posix/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tamrix {
namespace {

constexpr std::size_t kControlSize = CMSG_SPACE(sizeof(in_pktinfo));
// How long a blocked receive waits before it looks for a wake whose loopback datagram was lost:
// the longest a pause or stop can take on a machine where loopback does not carry it.
constexpr timeval kLostWakeCheck{1, 0};
constexpr int kReceiveBufferBytes = 1 << 20;

bool SetFlag(int fd, int level, int name) {
  const int on = 1;
  return ::setsockopt(fd, level, name, &on, sizeof on) == 0;
}

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

PosixUdpSocket::PosixUdpSocket(UniqueFd socket, UniqueFd wake, std::uint16_t port)
    : socket_(std::move(socket)), wake_(std::move(wake)), port_(port) {}

ReceiveStatus PosixUdpSocket::Receive(std::span<std::uint8_t> buffer, ReceivedDatagram& datagram) {
  for (;;) {
    datagram = ReceivedDatagram{};
    // A wake wins over waiting datagrams: they stay queued for after a pause.
    if (woken_.exchange(false, std::memory_order_acq_rel)) return ReceiveStatus::kWoken;
    const bool polling = polling_.load(std::memory_order_acquire);
    if (polling) {
      const int ready = WaitForDatagram();
      if (ready < 0 && errno != EINTR) {
        datagram.error = errno;
        return ReceiveStatus::kError;
      }
      if (ready <= 0) continue;
    }
    const ReceiveStatus status = ReadDatagram(buffer, datagram, !polling);
    if (status == ReceiveStatus::kWoken) continue;  // the loopback bell; the flag says the rest
    if (status == ReceiveStatus::kError) {
      if (datagram.error == EINTR) continue;
      if (datagram.error == EAGAIN || datagram.error == EWOULDBLOCK) {
        // Polling: the readiness was spurious. Blocking: the check for a lost wake came round.
        if (!polling && woken_.load(std::memory_order_acquire)) {
          polling_.store(true, std::memory_order_release);
        }
        continue;
      }
    }
    return status;
  }
}

int PosixUdpSocket::WaitForDatagram() {
  pollfd fds[2] = {{wake_.get(), POLLIN, 0}, {socket_.get(), POLLIN, 0}};
  if (::poll(fds, 2, -1) < 0) return -1;
  if (fds[0].revents != 0) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t ignored = ::read(wake_.get(), &count, sizeof count);
    return 0;
  }
  return fds[1].revents != 0 ? 1 : 0;
}

// kWoken stands for the loopback bell: an empty datagram from this very port.
ReceiveStatus PosixUdpSocket::ReadDatagram(std::span<std::uint8_t> buffer,
                                           ReceivedDatagram& datagram, bool blocking) {
  iovec io{buffer.data(), buffer.size()};
  alignas(cmsghdr) unsigned char control[kControlSize] = {};
  sockaddr_in from{};
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;

  const ssize_t got = ::recvmsg(socket_.get(), &message, blocking ? 0 : MSG_DONTWAIT);
  if (got < 0) {
    datagram.error = errno;
    return ReceiveStatus::kError;
  }
  if (got == 0 && from.sin_port == htons(port_) && from.sin_addr.s_addr == htonl(INADDR_LOOPBACK)) {
    return ReceiveStatus::kWoken;
  }
  // Linux cuts a datagram longer than the buffer; the cut part is handled like any other.
  datagram.size = static_cast<std::size_t>(got);
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO &&
        c->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
      in_pktinfo info;
      std::memcpy(&info, CMSG_DATA(c), sizeof info);
      datagram.interfaceIndex = info.ipi_ifindex;
    }
  }
  return ReceiveStatus::kDatagram;
}

bool PosixUdpSocket::Send(std::span<const std::uint8_t> bytes, std::uint32_t destination,
                          std::uint16_t port, int interfaceIndex) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(destination);
  iovec io{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
  alignas(cmsghdr) unsigned char control[kControlSize] = {};
  msghdr message{};
  message.msg_name = &to;
  message.msg_namelen = sizeof to;
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  if (interfaceIndex > 0) {
    // Naming the interface lets a limited broadcast leave even without a default route.
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = interfaceIndex;
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
  }
  for (;;) {
    const ssize_t sent = ::sendmsg(socket_.get(), &message, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    return sent == static_cast<ssize_t>(bytes.size());
  }
}

void PosixUdpSocket::Wake() {
  woken_.store(true, std::memory_order_release);
  // The counter only saturates after 2^64 - 2 wakes; a failed write cannot lose a pending wake.
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(wake_.get(), &one, sizeof one);
  if (polling_.load(std::memory_order_acquire)) return;
  const sockaddr_in self = Loopback(port_);
  if (::sendto(socket_.get(), nullptr, 0, MSG_DONTWAIT | MSG_NOSIGNAL,
               reinterpret_cast<const sockaddr*>(&self), sizeof self) != 0) {
    // The blocked receive finds the flag at its next check; later ones poll.
    polling_.store(true, std::memory_order_release);
  }
}

std::unique_ptr<UdpSocket> PosixUdpSocketFactory::OpenServerSocket(int& error) {
  error = 0;
  UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) {
    error = errno;
    return nullptr;
  }
  // No SO_REUSEADDR: on Linux it would let a second server bind the same UDP port and both
  // would answer every broadcast; a busy port must fail the start instead.
  if (!SetFlag(fd.get(), SOL_SOCKET, SO_BROADCAST) || !SetFlag(fd.get(), IPPROTO_IP, IP_PKTINFO)) {
    error = errno;
    return nullptr;
  }
  // Room for a burst, and for the moments the server thread waits on the lease journal's disk:
  // the default holds about 160 requests, 14 ms at 6000 exchanges a second. Linux doubles the
  // value and caps it at net.core.rmem_max; less than asked for is no reason not to serve.
  const int receiveBuffer = kReceiveBufferBytes;
  ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port_);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    error = errno;
    return nullptr;
  }
  const timeval check = kLostWakeCheck;
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &check, sizeof check) != 0 ||
      ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    error = errno;
    return nullptr;
  }
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake.valid()) {
    error = errno;
    return nullptr;
  }
  return std::make_unique<PosixUdpSocket>(std::move(fd), std::move(wake), ntohs(bound.sin_port));
}

}  // namespace tamrix
