#include "platform/posix/posix_request_endpoint.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

#include "common/deadline.h"
#include "platform/posix/operator_access.h"
#include "platform/posix/unix_endpoint.h"

namespace tamrix {
namespace {

// One whole message, or nothing: its true length, which may be more than the buffer holds.
ssize_t ReceiveMessage(int fd, std::vector<std::uint8_t>& buffer, int flags) {
  ssize_t n;
  do {
    n = recv(fd, buffer.data(), buffer.size(), flags | MSG_TRUNC);
  } while (n < 0 && errno == EINTR);
  return n;
}

bool SendWhole(int fd, std::span<const std::uint8_t> message) {
  ssize_t n;
  do {
    n = send(fd, message.data(), message.size(), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(message.size());
}

class PosixRequestEndpoint final : public RequestEndpoint {
 public:
  PosixRequestEndpoint(SoleListener owned, std::string path, UniqueFd wakeRead,
                       UniqueFd wakeWrite, std::size_t maxRequestSize, int peerTimeoutMs,
                       RequestHandler handler)
      : owned_(std::move(owned)),
        path_(std::move(path)),
        wakeRead_(std::move(wakeRead)),
        wakeWrite_(std::move(wakeWrite)),
        maxRequestSize_(maxRequestSize),
        peerTimeoutMs_(peerTimeoutMs),
        handler_(std::move(handler)),
        thread_([this] { Run(); }) {}

  ~PosixRequestEndpoint() override {
    const char wake = 1;
    (void)!write(wakeWrite_.get(), &wake, 1);
    thread_.join();
    // The name goes first, while the lock still keeps any new owner from taking it.
    unlink(path_.c_str());
  }

 private:
  void Run() {
    pollfd waiting[2] = {{owned_.listener.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
    for (;;) {
      if (poll(waiting, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (waiting[1].revents != 0 || (waiting[0].revents & (POLLERR | POLLNVAL)) != 0) return;
      UniqueFd connection(accept4(owned_.listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (connection.valid()) Answer(connection.get());
    }
  }

  // A caller outside the operators, one that stalls or one whose request is too long is hung up
  // on without an answer; the handler never sees it.
  void Answer(int connection) {
    if (!PeerIsOperator(connection)) return;
    SetSocketTimeout(connection, SO_RCVTIMEO, peerTimeoutMs_);
    SetSocketTimeout(connection, SO_SNDTIMEO, peerTimeoutMs_);
    std::vector<std::uint8_t> request(maxRequestSize_ + 1);
    const ssize_t size = ReceiveMessage(connection, request, 0);
    if (size <= 0 || static_cast<std::size_t>(size) > maxRequestSize_) return;
    request.resize(static_cast<std::size_t>(size));
    const std::vector<std::uint8_t> reply = handler_(request);
    if (!reply.empty()) SendWhole(connection, reply);
  }

  SoleListener owned_;
  std::string path_;
  UniqueFd wakeRead_;
  UniqueFd wakeWrite_;
  std::size_t maxRequestSize_;
  int peerTimeoutMs_;
  RequestHandler handler_;
  std::thread thread_;  // last: it starts once everything it uses is in place
};

}  // namespace

PosixRequestEndpointSystem::PosixRequestEndpointSystem(MachinePaths paths, int peerTimeoutMs)
    : paths_(std::move(paths)), peerTimeoutMs_(peerTimeoutMs) {}

std::string PosixRequestEndpointSystem::EndpointPath(std::string_view name) const {
  return JoinPath(paths_.RunDirectory(), std::string(name));
}

std::unique_ptr<RequestEndpoint> PosixRequestEndpointSystem::Serve(std::string_view name,
                                                                   std::size_t maxRequestSize,
                                                                   RequestHandler handler) {
  if (!handler || !MakeOperatorFolder(paths_.RunDirectory())) return nullptr;
  const std::string path = EndpointPath(name);
  std::optional<SoleListener> owned = ListenAlone(path, SOCK_SEQPACKET);
  if (!owned) return nullptr;
  int wake[2];
  if (pipe2(wake, O_CLOEXEC) != 0) {
    unlink(path.c_str());
    return nullptr;
  }
  return std::make_unique<PosixRequestEndpoint>(std::move(*owned), path, UniqueFd(wake[0]),
                                                UniqueFd(wake[1]), maxRequestSize,
                                                peerTimeoutMs_, std::move(handler));
}

std::optional<std::vector<std::uint8_t>> PosixRequestEndpointSystem::Call(
    std::string_view name, std::span<const std::uint8_t> request, std::size_t maxReplySize,
    int timeoutMs) {
  const Deadline deadline(timeoutMs);
  UnixAddress address;
  if (!address.Set(EndpointPath(name))) return std::nullopt;
  UniqueFd connection(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!connection.valid()) return std::nullopt;
  // Bounds the connect (a full backlog) and the send alike.
  SetSocketTimeout(connection.get(), SO_SNDTIMEO, deadline.LeftMs());
  int rc;
  do {
    rc = connect(connection.get(), address.get(), address.size());
  } while (rc != 0 && errno == EINTR && deadline.LeftMs() > 0);
  if (rc != 0 || !SendWhole(connection.get(), request)) return std::nullopt;

  pollfd answer{connection.get(), POLLIN, 0};
  do {
    rc = poll(&answer, 1, deadline.LeftMs());
  } while (rc < 0 && errno == EINTR);
  if (rc <= 0) return std::nullopt;
  std::vector<std::uint8_t> reply(maxReplySize + 1);
  const ssize_t size = ReceiveMessage(connection.get(), reply, MSG_DONTWAIT);
  if (size <= 0 || static_cast<std::size_t>(size) > maxReplySize) return std::nullopt;
  reply.resize(static_cast<std::size_t>(size));
  return reply;
}

}  // namespace tamrix
