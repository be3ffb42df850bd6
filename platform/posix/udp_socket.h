#pragma once

#include <atomic>
#include <cstdint>

#include "platform/posix/unique_fd.h"
#include "platform/udp_socket.h"

namespace tamrix {

// A UDP socket with the interface each datagram came in on (IP_PKTINFO). The receiving thread
// sleeps in recvmsg alone: a poll beside it cost a quarter of the server's CPU. Wake() sets a flag
// and rings two bells: an empty datagram from the socket to itself over loopback, which ends the
// blocked recvmsg, and an eventfd. Should the datagram not arrive (no loopback, a firewall), the
// receive's timeout finds the flag and the socket polls the eventfd beside it from then on.
class PosixUdpSocket final : public UdpSocket {
 public:
  PosixUdpSocket(UniqueFd socket, UniqueFd wake, std::uint16_t port);

  ReceiveStatus Receive(std::span<std::uint8_t> buffer, ReceivedDatagram& datagram) override;
  bool Send(std::span<const std::uint8_t> bytes, std::uint32_t destination, std::uint16_t port,
            int interfaceIndex) override;
  void Wake() override;

 private:
  // Polling only: 1 when a datagram waits, 0 when the eventfd rang (or nothing did), -1 and errno
  // when poll failed.
  int WaitForDatagram();
  // kError with EAGAIN when nothing was there to read.
  ReceiveStatus ReadDatagram(std::span<std::uint8_t> buffer, ReceivedDatagram& datagram,
                             bool blocking);

  UniqueFd socket_;
  UniqueFd wake_;
  std::uint16_t port_;  // the socket's own, where the loopback wake is sent
  std::atomic<bool> woken_{false};
  std::atomic<bool> polling_{false};
};

// Binds 0.0.0.0 and the given port (67 for the server; integration tests inside their own
// network namespaces may use it as is).
class PosixUdpSocketFactory final : public UdpSocketFactory {
 public:
  explicit PosixUdpSocketFactory(std::uint16_t port = 67) : port_(port) {}
  std::unique_ptr<UdpSocket> OpenServerSocket(int& error) override;

 private:
  std::uint16_t port_;
};

}  // namespace tamrix
