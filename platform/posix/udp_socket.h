#pragma once

#include <cstdint>

#include "platform/posix/unique_fd.h"
#include "platform/udp_socket.h"

namespace tamrix {

// A UDP socket with the interface each datagram came in on (IP_PKTINFO), and an eventfd polled
// beside it so another thread can wake a blocked receive without closing the socket under it.
class PosixUdpSocket final : public UdpSocket {
 public:
  PosixUdpSocket(UniqueFd socket, UniqueFd wake);

  ReceiveStatus Receive(std::span<std::uint8_t> buffer, ReceivedDatagram& datagram) override;
  bool Send(std::span<const std::uint8_t> bytes, std::uint32_t destination, std::uint16_t port,
            int interfaceIndex) override;
  void Wake() override;

 private:
  bool DrainWake();
  ReceiveStatus ReadDatagram(std::span<std::uint8_t> buffer, ReceivedDatagram& datagram);

  UniqueFd socket_;
  UniqueFd wake_;
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
