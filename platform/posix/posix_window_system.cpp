#include "platform/posix/posix_window_system.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/posix/name_hash.h"
#include "platform/posix/operator_access.h"
#include "platform/posix/unique_fd.h"
#include "platform/posix/unix_endpoint.h"

namespace tamrix {

namespace {

constexpr std::size_t kRequestSize = 20;
constexpr std::size_t kAnswerSize = 8;
// A sender that connects and then stalls must not hold the owner's thread for long.
constexpr int kOwnerReadTimeoutMs = 1000;

bool SendAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReceiveAll(int fd, std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = recv(fd, data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void PutLe(std::uint8_t* p, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t GetLe(const std::uint8_t* p, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint64_t>(p[i]) << (8 * i);
  return value;
}

class PosixWindow;

// The windows of this process, so that a message the owner's own thread sends to its window is
// handled by a direct call instead of waiting on itself.
struct OwnWindows {
  std::mutex mutex;
  std::map<std::string, PosixWindow*> byEndpoint;
};
OwnWindows& Own() {
  static OwnWindows own;
  return own;
}

class PosixWindow final : public Window {
 public:
  PosixWindow(UniqueFd lock, UniqueFd listener, std::string endpoint, WindowProcedure procedure)
      : lock_(std::move(lock)),
        listener_(std::move(listener)),
        endpoint_(std::move(endpoint)),
        procedure_(std::move(procedure)),
        owner_(std::this_thread::get_id()) {
    std::lock_guard guard(Own().mutex);
    Own().byEndpoint[endpoint_] = this;
  }
  ~PosixWindow() override { Destroy(); }

  std::thread::id owner() const { return owner_; }
  std::int64_t Call(const WindowMessage& message) { return procedure_ ? procedure_(message) : 0; }

  int MessageFd() const override { return listener_.get(); }

  int DispatchMessages(int timeoutMs) override {
    if (destroyed_) return -1;
    pollfd waiting{listener_.get(), POLLIN, 0};
    if (poll(&waiting, 1, timeoutMs) <= 0) return 0;
    int handled = 0;
    while (!destroyed_) {
      UniqueFd connection(accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (!connection.valid()) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        break;  // nothing more waits
      }
      if (Handle(connection.get())) ++handled;
    }
    return handled;
  }

  void Destroy() override {
    if (destroyed_) return;
    destroyed_ = true;
    {
      std::lock_guard guard(Own().mutex);
      Own().byEndpoint.erase(endpoint_);
    }
    // The name goes first, while the lock still keeps any new owner from taking it.
    unlink(endpoint_.c_str());
    listener_.Reset();
    lock_.Reset();
  }

  bool IsDestroyed() const override { return destroyed_; }

 private:
  // One message: a sender that sends less than a whole request (a presence check, say) is
  // dropped without calling the procedure.
  bool Handle(int connection) {
    // The folder keeps other accounts out already; the caller is checked all the same, since a
    // message can stop the server.
    if (!PeerIsOperator(connection)) return false;
    SetSocketTimeout(connection, SO_RCVTIMEO, kOwnerReadTimeoutMs);
    std::array<std::uint8_t, kRequestSize> request{};
    if (!ReceiveAll(connection, request.data(), request.size())) return false;
    WindowMessage message;
    message.message = static_cast<std::uint32_t>(GetLe(request.data(), 4));
    message.wParam = GetLe(request.data() + 4, 8);
    message.lParam = static_cast<std::int64_t>(GetLe(request.data() + 12, 8));
    const std::int64_t answer = Call(message);
    std::array<std::uint8_t, kAnswerSize> reply{};
    PutLe(reply.data(), static_cast<std::uint64_t>(answer), 8);
    SendAll(connection, reply.data(), reply.size());
    return true;
  }

  UniqueFd lock_;
  UniqueFd listener_;
  std::string endpoint_;
  WindowProcedure procedure_;
  const std::thread::id owner_;
  bool destroyed_ = false;
};

// The owner's own thread sending to its own window: the procedure runs at once.
std::optional<std::int64_t> CallOwnWindow(const std::string& endpoint,
                                          const WindowMessage& message) {
  PosixWindow* window = nullptr;
  {
    std::lock_guard guard(Own().mutex);
    auto found = Own().byEndpoint.find(endpoint);
    if (found == Own().byEndpoint.end() || found->second->owner() != std::this_thread::get_id()) {
      return std::nullopt;
    }
    window = found->second;
  }
  return window->Call(message);
}

}  // namespace

PosixWindowSystem::PosixWindowSystem(MachinePaths paths) : paths_(std::move(paths)) {}

std::string PosixWindowSystem::EndpointPath(std::string_view className,
                                            std::string_view title) const {
  std::string key(className);
  key.push_back('\0');
  key.append(title);
  return JoinPath(paths_.RunDirectory(), "window-" + NameDigest(key));
}

std::unique_ptr<Window> PosixWindowSystem::CreateWindow(std::string_view className,
                                                        std::string_view title,
                                                        WindowProcedure procedure) {
  // Only the operators may reach the endpoints, and so only they may hold a window's lock.
  if (!MakeOperatorFolder(paths_.RunDirectory())) return nullptr;
  const std::string endpoint = EndpointPath(className, title);

  // One live owner per class and title; a dead owner's name is taken over.
  std::optional<SoleListener> owned = ListenAlone(endpoint, SOCK_STREAM);
  if (!owned) return nullptr;
  return std::make_unique<PosixWindow>(std::move(owned->lock), std::move(owned->listener),
                                       endpoint, std::move(procedure));
}

std::optional<WindowHandle> PosixWindowSystem::FindWindow(std::string_view className,
                                                          std::string_view title) {
  WindowHandle handle{EndpointPath(className, title)};
  UnixAddress address;
  if (!address.Set(handle.endpoint)) return std::nullopt;
  UniqueFd probe(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!probe.valid()) return std::nullopt;
  // A socket file nobody listens on any more (its owner died) refuses: no window.
  if (connect(probe.get(), address.get(), address.size()) == 0 || errno == EAGAIN) {
    return handle;  // EAGAIN: the owner's queue is full, but it is there
  }
  return std::nullopt;
}

std::optional<std::int64_t> PosixWindowSystem::SendMessage(const WindowHandle& window,
                                                           std::uint32_t message,
                                                           std::uint64_t wParam,
                                                           std::int64_t lParam, int timeoutMs) {
  if (auto answer = CallOwnWindow(window.endpoint, {message, wParam, lParam})) return answer;
  UnixAddress address;
  if (!address.Set(window.endpoint)) return std::nullopt;
  UniqueFd connection(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!connection.valid()) return std::nullopt;
  if (timeoutMs >= 0) {
    SetSocketTimeout(connection.get(), SO_SNDTIMEO, timeoutMs);
    SetSocketTimeout(connection.get(), SO_RCVTIMEO, timeoutMs);
  }
  int rc;
  do {
    rc = connect(connection.get(), address.get(), address.size());
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return std::nullopt;
  std::array<std::uint8_t, kRequestSize> request{};
  PutLe(request.data(), message, 4);
  PutLe(request.data() + 4, wParam, 8);
  PutLe(request.data() + 12, static_cast<std::uint64_t>(lParam), 8);
  if (!SendAll(connection.get(), request.data(), request.size())) return std::nullopt;
  std::array<std::uint8_t, kAnswerSize> reply{};
  if (!ReceiveAll(connection.get(), reply.data(), reply.size())) return std::nullopt;
  return static_cast<std::int64_t>(GetLe(reply.data(), 8));
}

}  // namespace tamrix
