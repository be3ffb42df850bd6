#include "platform/posix/posix_file_operations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/unique_fd.h"

namespace tamrix {
namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool CopyContents(int from, int to) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    if (!WriteAll(to, buffer, static_cast<std::size_t>(n))) return false;
  }
}

}  // namespace

bool PosixFileOperations::CreateDirectory(const std::string& path) {
  return ::mkdir(path.c_str(), 0755) == 0;
}

bool PosixFileOperations::CopyFile(const std::string& source, const std::string& destination) {
  UniqueFd from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!from.valid()) return false;
  struct stat info {};
  if (::fstat(from.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::string temporary = destination + ".XXXXXX";
  UniqueFd to(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!to.valid()) return false;
  const bool written = CopyContents(from.get(), to.get()) &&
                       ::fchmod(to.get(), info.st_mode & 07777) == 0 && ::fsync(to.get()) == 0;
  const bool closed = ::close(to.release()) == 0;
  if (!written || !closed || ::rename(temporary.c_str(), destination.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

bool PosixFileOperations::DeleteFile(const std::string& path) {
  struct stat info {};
  // Like its namesake, it removes files only: a directory of that name stays and fails.
  if (::lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  return ::unlink(path.c_str()) == 0;
}

bool PosixFileOperations::RemoveDirectory(const std::string& path) {
  return ::rmdir(path.c_str()) == 0;
}

}  // namespace tamrix
