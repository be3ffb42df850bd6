#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace tamrix {

// The two auto-reset events that travel with the shared block: a client signals kRequest after
// writing a command; the service signals kTurn when it is ready for the next command, which is
// also the moment the previous answer is complete.
enum class BlockEvent { kRequest, kTurn };

enum class ExchangeLock {
  kLocked,
  kLockedAfterOwnerDied,  // the previous holder died inside its exchange; the lock is ours now
  kBusy,                  // not taken within the wait
};

// One party's handles on the named block, its two events and the lock that keeps client
// exchanges apart. Closing the object closes the handles; only the creator removes the names.
class SharedBlock {
 public:
  virtual ~SharedBlock() = default;
  virtual std::span<std::uint8_t> Bytes() = 0;

  virtual void Signal(BlockEvent event) = 0;
  // True when the event was signalled within the wait (and is now reset); timeoutMs < 0 waits
  // without limit.
  virtual bool Wait(BlockEvent event, int timeoutMs) = 0;
  virtual bool IsSignalled(BlockEvent event) = 0;

  // Held by a client for one whole exchange; released by the system if the holder dies.
  // timeoutMs 0 only tries.
  virtual ExchangeLock LockExchange(int timeoutMs) = 0;
  virtual void UnlockExchange() = 0;
};

// The names the objects are known by on every machine; an implementation may add a prefix of its
// own so that separate emulated machines never meet.
struct SharedBlockNames {
  std::string block;
  std::string request;  // the kRequest event
  std::string turn;     // the kTurn event
  std::string lock;     // the exchange lock
};

// Creates (service) or opens (client) a named block of this machine.
class SharedBlockSystem {
 public:
  virtual ~SharedBlockSystem() = default;
  // Fresh objects: the block zero-filled, both events reset, the lock free; every local account
  // may open them. The names go away when the returned object is destroyed. Null on failure.
  virtual std::unique_ptr<SharedBlock> Create(const SharedBlockNames& names, std::size_t size) = 0;
  // Null at once when the block or any of its companions does not exist or is smaller than size.
  virtual std::unique_ptr<SharedBlock> Open(const SharedBlockNames& names, std::size_t size) = 0;
};

}  // namespace tamrix
