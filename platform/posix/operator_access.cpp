#include "platform/posix/operator_access.h"

#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <vector>

#include "platform/posix/directories.h"

extern char** environ;

namespace tamrix {
namespace {

constexpr mode_t kGroupFolderMode = 02770;
constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kGroupFileMode = 0660;
constexpr mode_t kPrivateFileMode = 0600;

bool HasGroupAndMode(const struct stat& info, std::optional<gid_t> group, mode_t mode) {
  return (info.st_mode & 07777) == mode && (!group || info.st_gid == *group);
}

std::optional<gid_t> LookUpOperatorGroup() {
  std::vector<char> buffer(4096);
  group entry{};
  group* found = nullptr;
  while (getgrnam_r(kOperatorGroupName, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
         buffer.size() < (1u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (found == nullptr) return std::nullopt;
  return found->gr_gid;
}

// A look-up walks every name service the machine has, and a group that does not exist is the
// slowest answer of all: the server asks about eight times before its first reply, which cost
// several milliseconds of its start. The answer is kept for a few seconds, so a group added
// meanwhile by another program is still seen soon after; EnsureOperatorGroup asks afresh.
constexpr auto kGroupAnswerLifetime = std::chrono::seconds(5);

struct RememberedGroup {
  std::mutex mutex;
  std::optional<gid_t> group;
  std::chrono::steady_clock::time_point askedAt;
  bool asked = false;
};

RememberedGroup& Remembered() {
  static RememberedGroup remembered;
  return remembered;
}

std::optional<gid_t> AskForOperatorGroup() {
  RememberedGroup& remembered = Remembered();
  const std::optional<gid_t> group = LookUpOperatorGroup();
  std::lock_guard lock(remembered.mutex);
  remembered.group = group;
  remembered.askedAt = std::chrono::steady_clock::now();
  remembered.asked = true;
  return group;
}

}  // namespace

std::optional<gid_t> OperatorGroupId() {
  RememberedGroup& remembered = Remembered();
  {
    std::lock_guard lock(remembered.mutex);
    if (remembered.asked &&
        std::chrono::steady_clock::now() - remembered.askedAt < kGroupAnswerLifetime) {
      return remembered.group;
    }
  }
  return AskForOperatorGroup();
}

bool MakeOperatorFolder(const std::string& path) {
  if (!MakeDirectories(path)) return false;
  const std::optional<gid_t> group = OperatorGroupId();
  const mode_t mode = group ? kGroupFolderMode : kPrivateFolderMode;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  if (HasGroupAndMode(info, group, mode)) return true;
  // The group first: changing it may clear the set-group-id bit.
  if (group && ::chown(path.c_str(), static_cast<uid_t>(-1), *group) != 0) return false;
  return ::chmod(path.c_str(), mode) == 0;
}

bool ShareWithOperators(int fd) {
  const std::optional<gid_t> group = OperatorGroupId();
  if (group && ::fchown(fd, static_cast<uid_t>(-1), *group) != 0) return false;
  return ::fchmod(fd, group ? kGroupFileMode : kPrivateFileMode) == 0;
}

bool ShareWithOperators(const std::string& path) {
  const std::optional<gid_t> group = OperatorGroupId();
  if (group && ::chown(path.c_str(), static_cast<uid_t>(-1), *group) != 0) return false;
  return ::chmod(path.c_str(), group ? kGroupFileMode : kPrivateFileMode) == 0;
}

bool EnsureOperatorGroup() {
  if (AskForOperatorGroup()) return true;
  char program[] = "groupadd";
  char system[] = "--system";
  char name[] = "tamrix";
  char* argv[] = {program, system, name, nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return AskForOperatorGroup().has_value();
}

bool LetProgramServe(const std::string& programPath) {
  vfs_cap_data capabilities{};
  capabilities.magic_etc = VFS_CAP_REVISION_2 | VFS_CAP_FLAGS_EFFECTIVE;
  capabilities.data[0].permitted = (1u << CAP_NET_BIND_SERVICE) | (1u << CAP_NET_RAW);
  return ::setxattr(programPath.c_str(), "security.capability", &capabilities, sizeof capabilities,
                    0) == 0;
}

bool AccountIsOperator(uid_t uid) {
  if (uid == 0) return true;
  const std::optional<gid_t> group = OperatorGroupId();
  if (!group) return false;
  std::vector<char> buffer(4096);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return false;
  }
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  if (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count));
    if (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) return false;
  }
  groups.resize(static_cast<std::size_t>(count));
  return std::find(groups.begin(), groups.end(), *group) != groups.end();
}

bool PeerIsOperator(int socket) {
  ucred peer{};
  socklen_t length = sizeof peer;
  if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) return false;
  return AccountIsOperator(peer.uid);
}

}  // namespace tamrix
