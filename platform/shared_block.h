#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <type_traits>

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
//
// Whoever may open the objects may also cut them short or overwrite them at any moment, so every
// touch of them (the bytes, the events, the lock) happens inside Access, and nothing read from
// them is trusted.
class SharedBlock {
 public:
  virtual ~SharedBlock() = default;

  // Runs body, which touches Bytes(), the events and the lock. False when another process cut an
  // object short under it: the rest of body was skipped, and these handles are of no further use
  // (a service drops them and creates fresh objects; a client gives up the exchange). Body may
  // be abandoned at any point, so it must be plain memory work: nothing in it may own a resource,
  // hold a lock of this process, need a destructor or throw.
  template <typename Body>
  bool Access(Body&& body) {
    using Target = std::remove_reference_t<Body>;
    return RunAccess([](void* target) { (*static_cast<Target*>(target))(); },
                     const_cast<std::remove_const_t<Target>*>(std::addressof(body)));
  }

  // Every object still has the size and the marks it was made with. An object cut short or
  // rewritten while nobody touches it is found here; a service looks while it is idle.
  virtual bool Intact() = 0;

  // Everything below touches the shared objects: only inside Access.
  virtual std::span<std::uint8_t> Bytes() = 0;

  virtual void Signal(BlockEvent event) = 0;
  // True when the event was signalled within the wait (and is now reset); timeoutMs < 0 waits
  // without limit. Any value but 0 in the event's word counts as signalled.
  virtual bool Wait(BlockEvent event, int timeoutMs) = 0;
  virtual bool IsSignalled(BlockEvent event) = 0;

  // Held by a client for one whole exchange; released by the system if the holder dies.
  // timeoutMs 0 only tries.
  virtual ExchangeLock LockExchange(int timeoutMs) = 0;
  virtual void UnlockExchange() = 0;

 protected:
  virtual bool RunAccess(void (*body)(void*), void* context) = 0;
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
  // Fresh objects: the block zero-filled, both events reset, the lock free; only the operators
  // (root and the group "tamrix") may open them. An object someone else put under one of the
  // names is replaced, never adopted. The names go away when the returned object is destroyed.
  // Null on failure.
  virtual std::unique_ptr<SharedBlock> Create(const SharedBlockNames& names, std::size_t size) = 0;
  // Null at once when the block or any of its companions does not exist or is smaller than size.
  virtual std::unique_ptr<SharedBlock> Open(const SharedBlockNames& names, std::size_t size) = 0;
};

}  // namespace tamrix
