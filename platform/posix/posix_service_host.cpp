#include "platform/posix/posix_service_host.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/posix/operator_access.h"
#include "platform/posix/posix_service_manager.h"
#include "platform/posix/service_run_state.h"

namespace tamrix {
namespace {

constexpr int kControlReadTimeoutSeconds = 5;

UniqueFd BindControlSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return UniqueFd();
  path.copy(address.sun_path, path.size());
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.valid()) return UniqueFd();
  ::unlink(path.c_str());  // a socket left by an earlier run of the service
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      !ShareWithOperators(path) || ::listen(socket.get(), 8) != 0) {
    return UniqueFd();
  }
  return socket;
}

bool ReadControl(int fd, std::uint32_t* control) {
  unsigned char bytes[4];
  std::size_t received = 0;
  while (received < sizeof bytes) {
    const ssize_t n = ::recv(fd, bytes + received, sizeof bytes - received, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    received += static_cast<std::size_t>(n);
  }
  *control = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
             static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  return true;
}

}  // namespace

PosixServiceHost::PosixServiceHost(MachinePaths paths, Registry& registry)
    : paths_(std::move(paths)), registry_(registry) {}

bool PosixServiceHost::Publish(const ServiceStatusReport& status) {
  PublishedStatus published;
  published.pid = ::getpid();
  published.startTime = LiveProcessStartTime(published.pid).value_or(0);
  published.status = status;
  // Readers must see a whole status, so it is renamed into place; it is not flushed to disk,
  // since it describes this boot only and the run directory does not outlive it.
  const std::string path = ServiceStatusPath(paths_, name_);
  const std::string temporary = path + ".new";
  const std::string text = FormatPublishedStatus(published);
  UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd.valid()) return false;
  const bool written = ::write(fd.get(), text.data(), text.size()) ==
                       static_cast<ssize_t>(text.size());
  fd.Reset();
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

void PosixServiceHost::Wake() {
  const char byte = 1;
  (void)!::write(wakeWrite_.get(), &byte, 1);
}

int PosixServiceHost::StartDispatcher(const std::string& serviceName,
                                      ServiceMainFunction serviceMain) {
  const char* marker = std::getenv(kServiceNameVariable);
  if (marker == nullptr || *marker == '\0') return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
  // The manager's name wins: it is the registration this process was started for. The marker is
  // dropped so that programs this service starts are not taken for services.
  const std::string name = marker;
  ::unsetenv(kServiceNameVariable);
  {
    std::lock_guard lock(mutex_);
    if (dispatching_) return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
    name_ = name;
  }
  if (!MakeOperatorFolder(paths_.RunDirectory()) ||
      !MakeOperatorFolder(ServiceRunDirectory(paths_, name))) {
    return ERROR_ACCESS_DENIED;
  }
  const std::string socketPath = ServiceControlSocketPath(paths_, name);
  UniqueFd listener = BindControlSocket(socketPath);
  int pipeFds[2];
  if (!listener.valid() || ::pipe2(pipeFds, O_CLOEXEC) != 0) {
    return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
  }
  wakeRead_.Reset(pipeFds[0]);
  wakeWrite_.Reset(pipeFds[1]);
  {
    std::lock_guard lock(mutex_);
    dispatching_ = true;
    current_ = ServiceStatusReport{};
    current_.currentState = SERVICE_START_PENDING;
    if (!Publish(current_)) {
      dispatching_ = false;
      return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
    }
  }

  std::thread mainThread([this, serviceName, serviceMain = std::move(serviceMain)] {
    std::string argument = serviceName;
    std::vector<char*> argv{argument.data(), nullptr};
    serviceMain(1, argv.data());
    std::lock_guard lock(mutex_);
    mainReturned_ = true;
    Wake();
  });

  for (;;) {
    {
      std::lock_guard lock(mutex_);
      // A ServiceMain that ended without a handler can never be stopped: nothing is left to run.
      if (stopped_ || (mainReturned_ && !handler_)) break;
    }
    pollfd fds[2] = {{listener.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if ((fds[1].revents & POLLIN) != 0) {
      char drain[16];
      (void)!::read(wakeRead_.get(), drain, sizeof drain);
    }
    if ((fds[0].revents & POLLIN) != 0) ServeControl(listener.get());
  }
  mainThread.join();

  {
    std::lock_guard lock(mutex_);
    if (!stopped_) {
      current_ = ServiceStatusReport{};
      current_.win32ExitCode = ERROR_PROCESS_ABORTED;
      Publish(current_);
    }
    dispatching_ = false;
  }
  listener.Reset();
  ::unlink(socketPath.c_str());
  CompletePendingDelete(registry_, paths_, name);
  return ERROR_SUCCESS;
}

void PosixServiceHost::ServeControl(int listener) {
  UniqueFd connection(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
  // A control can stop the service: only the operators may send one.
  if (!connection.valid() || !PeerIsOperator(connection.get())) return;
  timeval timeout{};
  timeout.tv_sec = kControlReadTimeoutSeconds;
  ::setsockopt(connection.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  ::setsockopt(connection.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  std::uint32_t control = 0;
  if (!ReadControl(connection.get(), &control)) return;
  ServiceControlHandler handler;
  {
    std::lock_guard lock(mutex_);
    handler = handler_;
  }
  // The handler runs without the lock: it reports its status through SetServiceStatus.
  if (handler) handler(control);
  std::array<unsigned char, kStatusWireSize> answer;
  {
    std::lock_guard lock(mutex_);
    answer = EncodeStatus(current_);
  }
  (void)!::send(connection.get(), answer.data(), answer.size(), MSG_NOSIGNAL);
}

ServiceStatusHandle PosixServiceHost::RegisterControlHandler(const std::string& /*serviceName*/,
                                                             ServiceControlHandler handler) {
  std::lock_guard lock(mutex_);
  if (!dispatching_ || !handler) return 0;
  handler_ = std::move(handler);
  return kStatusHandle;
}

int PosixServiceHost::SetServiceStatus(ServiceStatusHandle handle,
                                       const ServiceStatusReport& status) {
  std::lock_guard lock(mutex_);
  if (handle != kStatusHandle || !dispatching_ || !handler_) return 0;
  if (status.currentState < SERVICE_STOPPED || status.currentState > SERVICE_PAUSED) return 0;
  if (!Publish(status)) return 0;
  current_ = status;
  if (status.currentState == SERVICE_STOPPED) {
    stopped_ = true;
    Wake();
  }
  return 1;
}

}  // namespace tamrix
