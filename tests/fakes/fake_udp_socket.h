#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/udp_socket.h"

namespace tamrix::testing {

// A network in memory for one server socket at a time: tests deliver datagrams (or receive
// errors) into a blocking queue and read back what was sent. Waiting is on condition variables
// with a generous bound, never on the clock.
class FakeUdpNetwork final : public UdpSocketFactory {
 public:
  struct Sent {
    std::vector<std::uint8_t> bytes;
    std::uint32_t destination;
    std::uint16_t port;
    int interfaceIndex;
  };

  std::unique_ptr<UdpSocket> OpenServerSocket(int& error) override {
    std::lock_guard lock(mutex_);
    ++opens;
    error = openError;
    if (openError != 0) return nullptr;
    open_ = true;
    woken_ = false;
    return std::make_unique<Socket>(*this);
  }

  void Deliver(std::vector<std::uint8_t> bytes, int interfaceIndex = 2) {
    Push({std::move(bytes), interfaceIndex, 0});
  }
  void DeliverError(int error) { Push({{}, 0, error}); }

  // True once at least `count` replies have gone out.
  bool WaitForSends(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kBound, [&] { return sent_.size() >= count; });
  }
  // True once everything delivered has been taken off the queue.
  bool WaitUntilDrained() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kBound, [&] { return queue_.empty(); });
  }
  // True once the server has called Receive `count` times: every datagram before the last call
  // has been handled completely.
  bool WaitForReceives(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kBound, [&] { return receives_ >= count; });
  }
  // True once someone has woken the socket (and the wake may already have been taken).
  bool WaitForWake() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kBound, [&] { return wakes_ > 0; });
  }
  std::vector<Sent> Sends() {
    std::lock_guard lock(mutex_);
    return sent_;
  }
  std::size_t Queued() {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }
  bool IsOpen() {
    std::lock_guard lock(mutex_);
    return open_;
  }
  int Receives() {
    std::lock_guard lock(mutex_);
    return receives_;
  }

  int openError = 0;  // set to make the next open fail with this errno
  int opens = 0;
  bool failSends = false;

 private:
  static constexpr std::chrono::seconds kBound{10};

  struct Incoming {
    std::vector<std::uint8_t> bytes;
    int interfaceIndex;
    int error;
  };

  class Socket final : public UdpSocket {
   public:
    explicit Socket(FakeUdpNetwork& network) : network_(network) {}
    ~Socket() override {
      std::lock_guard lock(network_.mutex_);
      network_.open_ = false;
      network_.changed_.notify_all();
    }
    ReceiveStatus Receive(std::span<std::uint8_t> buffer, ReceivedDatagram& datagram) override {
      return network_.Receive(buffer, datagram);
    }
    bool Send(std::span<const std::uint8_t> bytes, std::uint32_t destination, std::uint16_t port,
              int interfaceIndex) override {
      std::lock_guard lock(network_.mutex_);
      if (network_.failSends) return false;
      network_.sent_.push_back({{bytes.begin(), bytes.end()}, destination, port, interfaceIndex});
      network_.changed_.notify_all();
      return true;
    }
    void Wake() override {
      std::lock_guard lock(network_.mutex_);
      network_.woken_ = true;
      ++network_.wakes_;
      network_.changed_.notify_all();
    }

   private:
    FakeUdpNetwork& network_;
  };

  void Push(Incoming incoming) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(incoming));
    changed_.notify_all();
  }

  ReceiveStatus Receive(std::span<std::uint8_t> buffer, ReceivedDatagram& datagram) {
    std::unique_lock lock(mutex_);
    ++receives_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return woken_ || !queue_.empty(); });
    datagram = ReceivedDatagram{};
    if (woken_) {
      woken_ = false;
      return ReceiveStatus::kWoken;
    }
    Incoming next = std::move(queue_.front());
    queue_.pop_front();
    changed_.notify_all();
    if (next.error != 0) {
      datagram.error = next.error;
      return ReceiveStatus::kError;
    }
    datagram.size = std::min(buffer.size(), next.bytes.size());
    datagram.interfaceIndex = next.interfaceIndex;
    std::memcpy(buffer.data(), next.bytes.data(), datagram.size);
    return ReceiveStatus::kDatagram;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Incoming> queue_;
  std::vector<Sent> sent_;
  bool woken_ = false;
  bool open_ = false;
  int receives_ = 0;
  int wakes_ = 0;
};

}  // namespace tamrix::testing
