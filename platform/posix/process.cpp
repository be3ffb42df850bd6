#include "platform/process.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "platform/win32_error.h"

namespace tamrix {

void PrepareServerProcess() {
  signal(SIGPIPE, SIG_IGN);
}

void OutliveSession(bool outlive) {
  if (!outlive) {
    signal(SIGHUP, SIG_DFL);
    return;
  }
  signal(SIGHUP, SIG_IGN);
  // A process group leader cannot leave its session; ignoring the hang-up still keeps it alive
  // when its terminal goes.
  if (getsid(0) != getpid()) setsid();
}

int OwnProgramPath(std::string* path) {
  char buffer[4096];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length < 0) return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
  if (static_cast<std::size_t>(length) >= sizeof buffer) return ERROR_INSUFFICIENT_BUFFER;
  path->assign(buffer, static_cast<std::size_t>(length));
  return ERROR_SUCCESS;
}

}  // namespace tamrix
