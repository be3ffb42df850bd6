#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace tamrix {

// What one receive gave.
enum class ReceiveStatus {
  kDatagram,  // a datagram is in the buffer (cut to the buffer's size when it was longer)
  kWoken,     // Wake() was called; nothing was read
  kError,     // the receive failed; the socket stays usable and the caller may simply retry
};

struct ReceivedDatagram {
  std::size_t size = 0;    // bytes placed in the buffer (a longer datagram is cut)
  int interfaceIndex = 0;  // the interface it came in on (0 = unknown)
  int error = 0;           // errno of a kError
};

// The server's UDP endpoint on port 67: one thread receives and sends, any thread may wake it.
class UdpSocket {
 public:
  virtual ~UdpSocket() = default;
  // Blocks until a datagram arrives or Wake() is called. A wake made before the call is not lost.
  virtual ReceiveStatus Receive(std::span<std::uint8_t> buffer, ReceivedDatagram& datagram) = 0;
  // Sends from port 67 out of the interface given (0 = let routing choose). True when sent.
  virtual bool Send(std::span<const std::uint8_t> bytes, std::uint32_t destination,
                    std::uint16_t port, int interfaceIndex) = 0;
  // Makes the blocked (or the next) Receive return kWoken. Safe from any thread.
  virtual void Wake() = 0;
};

// Opens the server's socket; nothing and an errno when it cannot be set up (port in use, no
// permission), so the engine can refuse to start instead of serving nobody.
class UdpSocketFactory {
 public:
  virtual ~UdpSocketFactory() = default;
  virtual std::unique_ptr<UdpSocket> OpenServerSocket(int& error) = 0;
};

}  // namespace tamrix
