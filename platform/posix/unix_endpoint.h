#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <optional>
#include <string>

#include "platform/posix/unique_fd.h"

namespace tamrix {

// What the run directory's endpoints (windows, the operator endpoint) share: their addresses,
// their time bounds and how one owner at a time takes a name.

// sockaddr_un holds 108 bytes; a longer path (a deep test root) is reached through a descriptor
// of its directory, which the address keeps open while it is in use.
class UnixAddress {
 public:
  bool Set(const std::string& path);
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address_); }
  socklen_t size() const { return size_; }

 private:
  UniqueFd directory_;
  sockaddr_un address_{};
  socklen_t size_ = 0;
};

// SO_RCVTIMEO or SO_SNDTIMEO in milliseconds (0 would mean no bound: at least 1 is set).
void SetSocketTimeout(int fd, int option, int timeoutMs);

struct SoleListener {
  UniqueFd lock;      // held for the listener's life: a second owner of the name is refused
  UniqueFd listener;  // non-blocking, listening
};

// A socket of the type (SOCK_STREAM, SOCK_SEQPACKET) listening at path, which only the operators
// may reach. The lock file beside it keeps the name to one live owner; a socket file a dead owner
// left is replaced. Nothing when another owner lives or the socket cannot be made. The caller
// unlinks path before it lets the lock go.
std::optional<SoleListener> ListenAlone(const std::string& path, int type);

}  // namespace tamrix
