#include "platform/wait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace tamrix {

bool WaitForInput(std::span<const int> fds, std::span<bool> ready) {
  const std::size_t count = std::min(fds.size(), ready.size());
  std::vector<pollfd> waiting(count);
  for (std::size_t i = 0; i < count; ++i) waiting[i] = {fds[i], POLLIN, 0};
  int result;
  while ((result = ::poll(waiting.data(), waiting.size(), -1)) < 0 && errno == EINTR) {
  }
  if (result < 0) return false;
  for (std::size_t i = 0; i < count; ++i) ready[i] = waiting[i].revents != 0;
  return true;
}

}  // namespace tamrix
