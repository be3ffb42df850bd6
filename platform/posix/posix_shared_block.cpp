#include "platform/posix/posix_shared_block.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <new>
#include <utility>

#include "platform/posix/bus_error_guard.h"
#include "platform/posix/name_hash.h"
#include "platform/posix/operator_access.h"
#include "platform/posix/unique_fd.h"

namespace tamrix {

namespace {

// Until ShareWithOperators has given the object its group and mode, only its creator may open it.
constexpr mode_t kCreatorOnly = 0600;
// Written last by the creator, so an opener never uses an object that is not yet initialised.
constexpr std::uint32_t kEventMagic = 0x54455631;  // "TEV1"
constexpr std::uint32_t kLockMagic = 0x544c4b31;   // "TLK1"
constexpr std::size_t kEventObjectSize = 64;
constexpr std::size_t kLockMutexOffset = 64;
constexpr std::size_t kLockObjectSize = kLockMutexOffset + sizeof(pthread_mutex_t);

// A mapped shared memory object; unmaps and closes once, and unlinks the name when it owns it.
class Mapping {
 public:
  Mapping() = default;
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  ~Mapping() { Reset(); }

  bool CreateFresh(const std::string& name, std::size_t size);
  bool OpenExisting(const std::string& name, std::size_t size);
  // The object is still at least as long as the mapping (checked without touching it).
  bool LongEnough() const;
  // Keeps the address range mapped for the rest of the process, over private zero pages instead
  // of the object; used when this thread's list of held robust mutexes may still lead into it.
  void Abandon();

  std::uint8_t* data() const { return static_cast<std::uint8_t*>(address_); }
  std::size_t size() const { return size_; }
  std::uint32_t* WordAddress(std::size_t offset) const {
    return reinterpret_cast<std::uint32_t*>(data() + offset);
  }
  std::atomic_ref<std::uint32_t> Word(std::size_t offset) const {
    return std::atomic_ref<std::uint32_t>(*WordAddress(offset));
  }

 private:
  bool Map(std::size_t size);
  void Reset();
  // Removes the name only while it still names our object, never a newer creator's.
  void UnlinkIfOurs();

  UniqueFd fd_;
  void* address_ = nullptr;
  std::size_t size_ = 0;
  std::string ownedName_;
};

bool Mapping::CreateFresh(const std::string& name, std::size_t size) {
  // A name left by a dead creator is replaced: whoever still has the old object mapped keeps it,
  // but every new opener meets the fresh one. An object someone put under the name in between is
  // removed in turn, never used: its maker could still hold it open, whatever its mode becomes.
  int fd = -1;
  for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
    shm_unlink(name.c_str());
    fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kCreatorOnly);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  fd_.Reset(fd);
  ownedName_ = name;
  // Group "tamrix" and 0660, or 0600 on a machine without the group; the umask plays no part.
  if (!ShareWithOperators(fd_.get())) return false;
  // A new object grows with zeros: the block starts cleared and the events reset.
  if (ftruncate(fd_.get(), static_cast<off_t>(size)) != 0) return false;
  return Map(size);
}

bool Mapping::OpenExisting(const std::string& name, std::size_t size) {
  const int fd = shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) return false;
  fd_.Reset(fd);
  struct stat info {};
  // Mapping beyond the object's end would fault on first touch, so a short object is refused.
  if (fstat(fd_.get(), &info) != 0 || info.st_size < static_cast<off_t>(size)) return false;
  return Map(size);
}

bool Mapping::LongEnough() const {
  struct stat info {};
  return address_ != nullptr && fstat(fd_.get(), &info) == 0 &&
         info.st_size >= static_cast<off_t>(size_);
}

void Mapping::Abandon() {
  if (address_ == nullptr) return;
  // Should the pages not be replaced, the old mapping stays: a touch of it is a bus error, which
  // the guards catch, never a touch of unmapped memory.
  mmap(address_, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
  address_ = nullptr;
  size_ = 0;
}

bool Mapping::Map(std::size_t size) {
  void* address = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_.get(), 0);
  if (address == MAP_FAILED) return false;
  address_ = address;
  size_ = size;
  return true;
}

void Mapping::UnlinkIfOurs() {
  if (ownedName_.empty() || !fd_.valid()) return;
  UniqueFd current(shm_open(ownedName_.c_str(), O_RDONLY | O_CLOEXEC, 0));
  struct stat ours {
  }, named{};
  if (current.valid() && fstat(fd_.get(), &ours) == 0 && fstat(current.get(), &named) == 0 &&
      ours.st_dev == named.st_dev && ours.st_ino == named.st_ino) {
    shm_unlink(ownedName_.c_str());
  }
}

void Mapping::Reset() {
  UnlinkIfOurs();
  if (address_ != nullptr) munmap(address_, size_);
  address_ = nullptr;
  size_ = 0;
  fd_.Reset();
  ownedName_.clear();
}

long Futex(std::uint32_t* word, int op, std::uint32_t value, const timespec* timeout) {
  // Shared futexes (no private flag): the waiters live in other processes.
  return syscall(SYS_futex, word, op, value, timeout, nullptr, 0);
}

timespec MonotonicNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}

timespec AddMilliseconds(timespec t, int milliseconds) {
  t.tv_sec += milliseconds / 1000;
  t.tv_nsec += static_cast<long>(milliseconds % 1000) * 1'000'000L;
  if (t.tv_nsec >= 1'000'000'000L) {
    t.tv_sec += 1;
    t.tv_nsec -= 1'000'000'000L;
  }
  return t;
}

// Time left until the deadline, or false when it has passed.
bool Remaining(const timespec& deadline, timespec& left) {
  const timespec now = MonotonicNow();
  long long ns = (static_cast<long long>(deadline.tv_sec) - now.tv_sec) * 1'000'000'000LL +
                 (deadline.tv_nsec - now.tv_nsec);
  if (ns <= 0) return false;
  left.tv_sec = static_cast<time_t>(ns / 1'000'000'000LL);
  left.tv_nsec = static_cast<long>(ns % 1'000'000'000LL);
  return true;
}

class PosixSharedBlock final : public SharedBlock {
 public:
  std::span<std::uint8_t> Bytes() override { return {block.data(), block.size()}; }

  ~PosixSharedBlock() override {
    if (lockMayBeListed_) lock.Abandon();
  }

  bool Intact() override {
    for (const Mapping* mapping : {&lock, &request, &turn, &block}) {
      if (!mapping->LongEnough()) return false;
    }
    bool marked = false;
    return Access([&] {
             marked = request.Word(0).load(std::memory_order_acquire) == kEventMagic &&
                      turn.Word(0).load(std::memory_order_acquire) == kEventMagic &&
                      lock.Word(0).load(std::memory_order_acquire) == kLockMagic;
           }) &&
           marked;
  }

  void Signal(BlockEvent event) override {
    std::uint32_t* address = EventAddress(event);
    std::atomic_ref<std::uint32_t>(*address).store(1, std::memory_order_release);
    // Everyone is woken; exactly one of them takes the signal, the rest wait on.
    if (Futex(address, FUTEX_WAKE, INT_MAX, nullptr) < 0 && errno == EFAULT) AbandonGuardedBody();
  }

  bool Wait(BlockEvent event, int timeoutMs) override {
    std::uint32_t* address = EventAddress(event);
    std::atomic_ref<std::uint32_t> word(*address);
    const timespec deadline = AddMilliseconds(MonotonicNow(), timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
      // Taking any value but 0 (not only 1) means a word overwritten with something else cannot
      // keep the futex call returning at once and the waiter spinning.
      if (word.exchange(0, std::memory_order_acq_rel) != 0) return true;
      if (timeoutMs == 0) return false;
      timespec left{};
      if (timeoutMs > 0 && !Remaining(deadline, left)) return false;
      // The page cut away under the word: the same as the fault a touch would have raised.
      if (Futex(address, FUTEX_WAIT, 0, timeoutMs < 0 ? nullptr : &left) < 0 && errno == EFAULT) {
        AbandonGuardedBody();
        return false;
      }
    }
  }

  bool IsSignalled(BlockEvent event) override {
    return std::atomic_ref<std::uint32_t>(*EventAddress(event)).load(std::memory_order_acquire) !=
           0;
  }

  ExchangeLock LockExchange(int timeoutMs) override {
    // From here until an unlock completes, this thread's list of held robust mutexes (which the C
    // library links through the mutexes themselves) may lead into the lock object.
    lockMayBeListed_ = true;
    int rc;
    if (timeoutMs == 0) {
      rc = pthread_mutex_trylock(Mutex());
    } else if (timeoutMs < 0) {
      rc = pthread_mutex_lock(Mutex());
    } else {
      const timespec deadline = AddMilliseconds(MonotonicNow(), timeoutMs);
      rc = pthread_mutex_clocklock(Mutex(), CLOCK_MONOTONIC, &deadline);
    }
    if (rc == 0) return ExchangeLock::kLocked;
    if (rc == EOWNERDEAD) {
      pthread_mutex_consistent(Mutex());
      return ExchangeLock::kLockedAfterOwnerDied;
    }
    lockMayBeListed_ = false;
    return ExchangeLock::kBusy;
  }

  void UnlockExchange() override {
    pthread_mutex_unlock(Mutex());
    lockMayBeListed_ = false;
  }

  // Declared in the order they are created, so they are destroyed (and their names removed)
  // block first: a client that still finds the block finds its companions too.
  Mapping lock, request, turn, block;

 protected:
  bool RunAccess(void (*body)(void*), void* context) override {
    return RunCatchingBusErrors(body, context);
  }

 private:
  std::uint32_t* EventAddress(BlockEvent event) {
    return (event == BlockEvent::kRequest ? request : turn).WordAddress(4);
  }
  pthread_mutex_t* Mutex() {
    return reinterpret_cast<pthread_mutex_t*>(lock.data() + kLockMutexOffset);
  }

  // A lock or unlock cut short by a fault may leave the lock's mutex on this thread's list of
  // held robust mutexes. The C library links the next mutex this thread locks to it, and the
  // kernel walks the list when the thread ends; unmapping it would turn either into a touch of
  // unmapped memory, so the range is abandoned instead (one page, and only after such a fault).
  bool lockMayBeListed_ = false;
};

// Another operator may cut the objects short even while they are being set up.
bool InitialiseLock(Mapping& lock) {
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0) return false;
  bool ok = pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0 &&
            pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0;
  if (ok) {
    ok = CatchingBusErrors([&] {
           auto* mutex = new (lock.data() + kLockMutexOffset) pthread_mutex_t;
           ok = pthread_mutex_init(mutex, &attributes) == 0;
           if (ok) lock.Word(0).store(kLockMagic, std::memory_order_release);
         }) &&
         ok;
  }
  pthread_mutexattr_destroy(&attributes);
  return ok;
}

}  // namespace

PosixSharedBlockSystem::PosixSharedBlockSystem(MachinePaths paths) : paths_(std::move(paths)) {}

std::string PosixSharedBlockSystem::ObjectName(const std::string& name) const {
  if (paths_.root.empty()) return "/" + name;
  return "/tamrix-" + NameDigest(paths_.root) + "-" + name;
}

std::unique_ptr<SharedBlock> PosixSharedBlockSystem::Create(const SharedBlockNames& names,
                                                            std::size_t size) {
  auto result = std::make_unique<PosixSharedBlock>();
  // The block is withdrawn first and published last, so an opener that finds it finds its
  // companions complete.
  shm_unlink(ObjectName(names.block).c_str());
  if (!result->lock.CreateFresh(ObjectName(names.lock), kLockObjectSize) ||
      !InitialiseLock(result->lock)) {
    return nullptr;
  }
  for (auto [mapping, name] :
       {std::pair{&result->request, &names.request}, std::pair{&result->turn, &names.turn}}) {
    if (!mapping->CreateFresh(ObjectName(*name), kEventObjectSize)) return nullptr;
    Mapping* fresh = mapping;
    if (!CatchingBusErrors([&] { fresh->Word(0).store(kEventMagic, std::memory_order_release); })) {
      return nullptr;
    }
  }
  if (!result->block.CreateFresh(ObjectName(names.block), size)) return nullptr;
  return result;
}

std::unique_ptr<SharedBlock> PosixSharedBlockSystem::Open(const SharedBlockNames& names,
                                                          std::size_t size) {
  auto result = std::make_unique<PosixSharedBlock>();
  if (!result->block.OpenExisting(ObjectName(names.block), size)) return nullptr;
  if (!result->request.OpenExisting(ObjectName(names.request), kEventObjectSize) ||
      !result->turn.OpenExisting(ObjectName(names.turn), kEventObjectSize) ||
      !result->lock.OpenExisting(ObjectName(names.lock), kLockObjectSize)) {
    return nullptr;
  }
  // Intact also checks the marks, which the creator writes last.
  if (!result->Intact()) return nullptr;
  return result;
}

}  // namespace tamrix
