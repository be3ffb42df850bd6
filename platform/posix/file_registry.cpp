#include "platform/posix/file_registry.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

#include "platform/posix/file_lock.h"
#include "platform/posix/operator_access.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/unique_fd.h"

namespace tamrix {
namespace {

constexpr std::string_view kBootLinePrefix = "; boot ";

// The volatile keys' text when it belongs to this boot, otherwise nothing.
std::string_view VolatileBody(std::string_view text, const std::string& bootId) {
  const std::size_t end = text.find('\n');
  const std::string_view first = text.substr(0, end);
  if (first.substr(0, kBootLinePrefix.size()) != kBootLinePrefix) return {};
  if (first.substr(kBootLinePrefix.size()) != bootId) return {};
  return end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
}

// A writer that holds the lock longer than this is taken for stuck: the change fails with 1460.
// A reader waits a shorter while and then reads without the lock, which is safe, since every
// file is replaced whole by a rename; so no holder can keep the registry from being read.
constexpr int kWriteLockTimeoutMs = 10'000;
constexpr int kReadLockTimeoutMs = 2'000;

// Holds an flock for the life of the object.
class FileLock {
 public:
  FileLock(const std::string& path, bool exclusive)
      : fd_(::open(path.c_str(), exclusive ? O_RDWR | O_CREAT | O_CLOEXEC : O_RDONLY | O_CLOEXEC,
                   0600)) {
    if (!fd_.valid()) {
      result_ = ERROR_ACCESS_DENIED;
      return;
    }
    if (exclusive) ShareWithOperators(fd_.get());
    result_ =
        LockWithin(fd_.get(), exclusive ? kWriteLockTimeoutMs : kReadLockTimeoutMs, exclusive);
  }
  bool locked() const { return result_ == ERROR_SUCCESS; }
  int result() const { return result_; }

 private:
  UniqueFd fd_;
  int result_ = ERROR_ACCESS_DENIED;
};

// The code for a change that could not be written: a user without the right gets 5, as on a
// machine whose registry refuses the caller; any other failure is a write fault.
int WriteFailure() {
  return errno == EACCES || errno == EPERM || errno == EROFS ? ERROR_ACCESS_DENIED
                                                             : ERROR_WRITE_FAULT;
}

}  // namespace

std::string CurrentBootId() {
  PosixFileSystem files;
  std::string id = files.ReadFile("/proc/sys/kernel/random/boot_id").value_or("");
  while (!id.empty() && (id.back() == '\n' || id.back() == '\r')) id.pop_back();
  return id.empty() ? "unknown" : id;
}

FileRegistry::FileRegistry(const MachinePaths& paths) : FileRegistry(paths, CurrentBootId()) {}

FileRegistry::FileRegistry(const MachinePaths& paths, std::string bootId)
    : directory_(paths.root + "/var/lib/tamrix-registry"),
      runDirectory_(paths.RunDirectory()),
      bootId_(std::move(bootId)) {}

std::string FileRegistry::HivePath() const { return directory_ + "/hive"; }
std::string FileRegistry::VolatilePath() const { return runDirectory_ + "/registry-volatile"; }

int FileRegistry::Transact(bool write, const std::function<int(RegistryHive&)>& op) {
  PosixFileSystem files;
  RegistryHive hive;
  // A machine whose registry was never written reads as empty; only a change creates the files.
  // Readers lock when they can: a user who may not create the lock file still reads whole files,
  // because every file is replaced by a rename.
  if (write && !MakeOperatorFolder(directory_)) return WriteFailure();
  FileLock lock(directory_ + "/lock", write);
  if (write && lock.result() == ERROR_TIMEOUT) return ERROR_TIMEOUT;
  if (write && !lock.locked()) return WriteFailure();

  const std::string persistent = files.ReadFile(HivePath()).value_or("");
  const std::string volatileText = files.ReadFile(VolatilePath()).value_or("");
  const std::string_view volatileBody = VolatileBody(volatileText, bootId_);
  skippedLines_ = hive.Load(persistent, false) + hive.Load(volatileBody, true);

  const int result = op(hive);
  if (!write || result != ERROR_SUCCESS) return result;

  const std::string newPersistent =
      "; TAMRIX registry: keys that last\n" + hive.Serialize(false);
  if (newPersistent != persistent && !files.ReplaceFile(HivePath(), newPersistent)) {
    return WriteFailure();
  }
  const std::string volatileKeys = hive.Serialize(true);
  const std::string newVolatile = std::string(kBootLinePrefix) + bootId_ + "\n" + volatileKeys;
  if (newVolatile != volatileText && (!volatileKeys.empty() || !volatileText.empty())) {
    if (!MakeOperatorFolder(runDirectory_) || !files.ReplaceFile(VolatilePath(), newVolatile)) {
      return WriteFailure();
    }
  }
  return ERROR_SUCCESS;
}

}  // namespace tamrix
