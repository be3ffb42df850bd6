#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <thread>
#include <vector>

#include "platform/dhcp_answer_source.h"
#include "platform/posix/unique_fd.h"

namespace tamrix {

// The DHCP answer inside an IPv4 packet as a packet socket delivers it (from the IP header on):
// true when the packet is whole, unfragmented UDP from port 67 to port 68, and then the payload
// (a view into packet) and the source address are stored in answer. Anything else is false.
bool ReadDhcpAnswer(std::span<const std::uint8_t> packet, HeardAnswer& answer);

// Hears the answers of every server on this machine's Ethernet segments through a packet socket
// that a kernel filter limits to UDP from port 67 to port 68: no port is bound, so a DHCP client
// on this machine keeps port 68, and nothing is ever sent. Needs CAP_NET_RAW; without it Start
// answers 0. Our own answers are sent, not received, and are never delivered.
class PacketAnswerSource final : public DhcpAnswerSource {
 public:
  PacketAnswerSource() = default;
  ~PacketAnswerSource() override;  // stops
  PacketAnswerSource(const PacketAnswerSource&) = delete;
  PacketAnswerSource& operator=(const PacketAnswerSource&) = delete;

  int Start(std::function<void(const HeardAnswer&)> heard) override;
  void Stop() override;

 private:
  void Listen();         // the listening thread
  bool ReceiveQueued();  // false when the queue is empty or the socket failed

  UniqueFd socket_;
  UniqueFd wake_;  // an eventfd Stop rings
  std::atomic<bool> stopping_{false};
  std::function<void(const HeardAnswer&)> heard_;
  std::vector<std::uint8_t> buffer_;  // the listening thread's
  std::thread thread_;
};

}  // namespace tamrix
