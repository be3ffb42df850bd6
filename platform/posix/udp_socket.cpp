#include "platform/posix/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace tamrix {
namespace {

constexpr std::size_t kControlSize = CMSG_SPACE(sizeof(in_pktinfo));

bool SetFlag(int fd, int level, int name) {
  const int on = 1;
  return ::setsockopt(fd, level, name, &on, sizeof on) == 0;
}

}  // namespace

PosixUdpSocket::PosixUdpSocket(UniqueFd socket, UniqueFd wake)
    : socket_(std::move(socket)), wake_(std::move(wake)) {}

ReceiveStatus PosixUdpSocket::Receive(std::span<std::uint8_t> buffer, ReceivedDatagram& datagram) {
  datagram = ReceivedDatagram{};
  for (;;) {
    pollfd fds[2] = {{wake_.get(), POLLIN, 0}, {socket_.get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      datagram.error = errno;
      return ReceiveStatus::kError;
    }
    // A wake wins over waiting datagrams: they stay queued for after a pause.
    if (fds[0].revents != 0 && DrainWake()) return ReceiveStatus::kWoken;
    if (fds[1].revents == 0) continue;
    const ReceiveStatus status = ReadDatagram(buffer, datagram);
    if (status == ReceiveStatus::kError && (datagram.error == EAGAIN || datagram.error == EINTR)) {
      continue;  // the readiness was spurious
    }
    return status;
  }
}

ReceiveStatus PosixUdpSocket::ReadDatagram(std::span<std::uint8_t> buffer,
                                           ReceivedDatagram& datagram) {
  iovec io{buffer.data(), buffer.size()};
  alignas(cmsghdr) unsigned char control[kControlSize] = {};
  msghdr message{};
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;

  const ssize_t got = ::recvmsg(socket_.get(), &message, MSG_DONTWAIT);
  if (got < 0) {
    datagram.error = errno;
    return ReceiveStatus::kError;
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
  const std::uint64_t one = 1;
  // The counter only saturates after 2^64 - 2 wakes; a failed write cannot lose a pending wake.
  [[maybe_unused]] const ssize_t ignored = ::write(wake_.get(), &one, sizeof one);
}

bool PosixUdpSocket::DrainWake() {
  std::uint64_t count = 0;
  return ::read(wake_.get(), &count, sizeof count) == static_cast<ssize_t>(sizeof count);
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
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port_);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    error = errno;
    return nullptr;
  }
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake.valid()) {
    error = errno;
    return nullptr;
  }
  return std::make_unique<PosixUdpSocket>(std::move(fd), std::move(wake));
}

}  // namespace tamrix
