#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "platform/machine_paths.h"
#include "platform/posix/unique_fd.h"

namespace tamrix {
namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Temporaries carry this mark between the target's name and mkstemp's six characters, so that
// only files of ours are ever taken for leftovers.
constexpr std::string_view kTemporaryMark = ".partial-";
constexpr std::size_t kTemporaryRandomLength = 6;

std::string DirectoryOf(const std::string& path) {
  const std::size_t cut = path.rfind('/');
  if (cut == std::string::npos) return ".";
  return cut == 0 ? "/" : path.substr(0, cut);
}

std::string NameOf(const std::string& path) {
  const std::size_t cut = path.rfind('/');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// A rename is lasting only once the folder that holds the name is on the disk too.
bool SyncDirectoryOf(const std::string& path) {
  UniqueFd directory(::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return directory.valid() && ::fsync(directory.get()) == 0;
}

// A replacement keeps the mode of the file it replaces. A new file in a folder shared with the
// operators (set-group-id, see operator_access.h) is theirs to read and write; elsewhere it is
// readable by all, as files were before folders were shared.
mode_t ModeForReplacement(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) return info.st_mode & 07777;
  if (::stat(DirectoryOf(path).c_str(), &info) == 0 && (info.st_mode & S_ISGID) != 0) return 0660;
  return 0644;
}

class PosixAppendFile final : public AppendFile {
 public:
  explicit PosixAppendFile(UniqueFd fd) : fd_(std::move(fd)) {}
  bool Append(std::string_view data) override { return WriteAll(fd_.get(), data); }
  bool Sync() override { return ::fdatasync(fd_.get()) == 0; }

 private:
  UniqueFd fd_;
};

}  // namespace

std::optional<std::string> PosixFileSystem::ReadFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  std::string contents;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) return contents;
    contents.append(buffer, static_cast<std::size_t>(n));
  }
}

bool PosixFileSystem::ReplaceFile(const std::string& path, std::string_view contents) {
  // The temporary lives in the target's folder so the rename never crosses file systems.
  std::string temporary = path + std::string(kTemporaryMark) + "XXXXXX";
  UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd.valid()) return false;
  const bool written = WriteAll(fd.get(), contents) &&
                       ::fchmod(fd.get(), ModeForReplacement(path)) == 0 && ::fsync(fd.get()) == 0;
  const bool closed = ::close(fd.release()) == 0;
  if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return SyncDirectoryOf(path);
}

std::unique_ptr<AppendFile> PosixFileSystem::OpenForAppend(const std::string& path) {
  const bool existed = ::access(path.c_str(), F_OK) == 0;
  UniqueFd fd(
      ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, ModeForReplacement(path)));
  if (!fd.valid()) return nullptr;
  // A new file's name must reach the disk as well, or a sync of its lines keeps nothing.
  if (!existed && !SyncDirectoryOf(path)) return nullptr;
  return std::make_unique<PosixAppendFile>(std::move(fd));
}

bool PosixFileSystem::RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return false;
  SyncDirectoryOf(path);
  return true;
}

std::optional<std::string> PosixFileSystem::MoveAside(const std::string& path,
                                                      const std::string& target) {
  for (int number = 1; number <= 100; ++number) {
    const std::string name = number == 1 ? target : target + "." + std::to_string(number);
    // link() never replaces an existing name, which rename() would.
    if (::link(path.c_str(), name.c_str()) == 0) {
      if (::unlink(path.c_str()) != 0) {
        ::unlink(name.c_str());
        return std::nullopt;
      }
      SyncDirectoryOf(path);
      return name;
    }
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

int PosixFileSystem::RemoveLeftoverTemporaries(const std::string& path) {
  const std::string prefix = NameOf(path) + std::string(kTemporaryMark);
  const std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(DirectoryOf(path).c_str()),
                                                      ::closedir);
  if (!directory) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(directory.get())) {
    const std::string_view name = entry->d_name;
    if (name.size() != prefix.size() + kTemporaryRandomLength ||
        name.substr(0, prefix.size()) != prefix) {
      continue;
    }
    const std::string leftover = JoinPath(DirectoryOf(path), std::string(name));
    if (::unlink(leftover.c_str()) == 0) ++removed;
  }
  return removed;
}

}  // namespace tamrix
