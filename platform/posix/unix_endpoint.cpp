#include "platform/posix/unix_endpoint.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/posix/operator_access.h"

namespace tamrix {

bool UnixAddress::Set(const std::string& path) {
  std::string usable = path;
  if (usable.size() >= sizeof(address_.sun_path)) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return false;
    const std::string directory = slash == 0 ? "/" : path.substr(0, slash);
    directory_.Reset(open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!directory_.valid()) return false;
    usable = "/proc/self/fd/" + std::to_string(directory_.get()) + path.substr(slash);
    if (usable.size() >= sizeof(address_.sun_path)) return false;
  }
  address_.sun_family = AF_UNIX;
  std::memcpy(address_.sun_path, usable.c_str(), usable.size() + 1);
  size_ = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + usable.size() + 1);
  return true;
}

void SetSocketTimeout(int fd, int option, int timeoutMs) {
  timeoutMs = std::max(1, timeoutMs);
  timeval tv{};
  tv.tv_sec = timeoutMs / 1000;
  tv.tv_usec = (timeoutMs % 1000) * 1000;
  setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

std::optional<SoleListener> ListenAlone(const std::string& path, int type) {
  const std::string lockPath = path + ".lock";
  UniqueFd lock(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!lock.valid()) lock.Reset(open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!lock.valid() || flock(lock.get(), LOCK_EX | LOCK_NB) != 0) return std::nullopt;
  ShareWithOperators(lock.get());  // another operator's file keeps its owner's settings

  UniqueFd listener(socket(AF_UNIX, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!listener.valid()) return std::nullopt;
  // Bound and listening under a private name first, then renamed over whatever a dead owner
  // left: whoever finds the name finds an owner that answers.
  const std::string fresh = path + "." + std::to_string(getpid()) + ".new";
  unlink(fresh.c_str());
  UnixAddress address;
  if (!address.Set(fresh) || bind(listener.get(), address.get(), address.size()) != 0) {
    return std::nullopt;
  }
  if (!ShareWithOperators(fresh) || listen(listener.get(), 16) != 0 ||
      rename(fresh.c_str(), path.c_str()) != 0) {
    unlink(fresh.c_str());
    return std::nullopt;
  }
  return SoleListener{std::move(lock), std::move(listener)};
}

}  // namespace tamrix
