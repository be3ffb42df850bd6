#include "platform/posix/detached_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/service_run_state.h"
#include "platform/posix/unique_fd.h"
#include "platform/win32_error.h"

extern char** environ;

namespace tamrix {
namespace {

bool ReadExactly(int fd, void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Runs in the forked children: only async-signal-safe calls from here on.
[[noreturn]] void RunGrandchild(const char* path, char* const argv[], char* const envp[],
                                int devNull, int report) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  for (const int signal : {SIGPIPE, SIGHUP, SIGINT, SIGTERM, SIGCHLD, SIGQUIT}) {
    sigaction(signal, &standard, nullptr);
  }
  dup2(devNull, 0);
  dup2(devNull, 1);
  dup2(devNull, 2);
  // Everything else closes, except the report pipe (moved to 3), which closes itself on a good
  // exec.
  if (report != 3) dup2(report, 3);
  fcntl(3, F_SETFD, FD_CLOEXEC);
  close_range(4, ~0U, 0);
  report = 3;
  if (chdir("/") != 0) {
    // Not fatal: the program starts where the caller was.
  }
  execve(path, argv, envp);
  const int error = errno;
  (void)!write(report, &error, sizeof error);
  _exit(127);
}

}  // namespace

std::vector<std::string> EnvironmentWith(
    const std::vector<std::pair<std::string, std::string>>& set,
    const std::vector<std::string>& remove) {
  std::vector<std::string> result;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const std::string name = text.substr(0, text.find('='));
    const bool replaced =
        std::any_of(set.begin(), set.end(), [&](const auto& pair) { return pair.first == name; });
    const bool removed = std::find(remove.begin(), remove.end(), name) != remove.end();
    if (!replaced && !removed) result.push_back(text);
  }
  for (const auto& [name, value] : set) result.push_back(name + "=" + value);
  return result;
}

int LaunchDetached(const std::string& path, const std::vector<std::string>& environment,
                   pid_t* pid) {
  // Everything the children need is built before the fork.
  std::string program = path;
  std::vector<std::string> envCopy = environment;
  std::vector<char*> argv{program.data(), nullptr};
  std::vector<char*> envp;
  for (std::string& entry : envCopy) envp.push_back(entry.data());
  envp.push_back(nullptr);

  UniqueFd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
  if (!devNull.valid()) return errno;
  // Two pipes, since the two children write at no set order: the middle child reports the
  // program's pid, the program itself why its exec failed (its end closes on a good exec).
  int pidFds[2];
  if (::pipe2(pidFds, O_CLOEXEC) != 0) return errno;
  UniqueFd pidRead(pidFds[0]);
  UniqueFd pidWrite(pidFds[1]);
  int execFds[2];
  if (::pipe2(execFds, O_CLOEXEC) != 0) return errno;
  UniqueFd execRead(execFds[0]);
  UniqueFd execWrite(execFds[1]);

  const pid_t middle = ::fork();
  if (middle < 0) return errno;
  if (middle == 0) {
    // The middle child starts the session and leaves at once, so the program is init's child.
    setsid();
    const pid_t grandchild = fork();
    if (grandchild == 0) {
      RunGrandchild(argv[0], argv.data(), envp.data(), devNull.get(), execWrite.get());
    }
    const int sent = grandchild > 0 ? static_cast<int>(grandchild) : -errno;
    (void)!write(pidWrite.get(), &sent, sizeof sent);
    _exit(grandchild > 0 ? 0 : 1);
  }
  pidWrite.Reset();
  execWrite.Reset();
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int sent = 0;
  if (!ReadExactly(pidRead.get(), &sent, sizeof sent)) return ECHILD;
  if (sent < 0) return -sent;
  int execError = 0;
  if (ReadExactly(execRead.get(), &execError, sizeof execError)) return execError;
  *pid = static_cast<pid_t>(sent);
  return 0;
}

std::string HostProgramPath(const std::string& registeredPath) {
  if (registeredPath.find('\\') == std::string::npos ||
      ::access(registeredPath.c_str(), F_OK) == 0) {
    return registeredPath;
  }
  std::string converted = registeredPath;
  for (char& c : converted) {
    if (c == '\\') c = '/';
  }
  return converted;
}

int LaunchErrorCode(int error) {
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
    case ENOTDIR:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENOEXEC:
      return 193;
    default:
      return ERROR_SERVICE_REQUEST_TIMEOUT;
  }
}

std::function<int(const std::string& path)> DetachedProgramLauncher(const std::string& root) {
  return [root](const std::string& path) {
    std::vector<std::pair<std::string, std::string>> set;
    std::vector<std::string> remove{kServiceNameVariable};
    if (root.empty()) {
      remove.push_back("TAMRIX_SYSROOT");
    } else {
      set.emplace_back("TAMRIX_SYSROOT", root);
    }
    pid_t pid = 0;
    return LaunchErrorCode(LaunchDetached(HostProgramPath(path), EnvironmentWith(set, remove), &pid));
  };
}

}  // namespace tamrix
