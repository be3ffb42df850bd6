#pragma once

#include <memory>
#include <type_traits>

namespace tamrix {

// A page of a mapped shared memory object that another process has cut short raises SIGBUS on
// the next touch. These guards turn that into an answer instead of the end of the process.
//
// Runs body(context) and answers false when a bus error cut it short; the rest of body is then
// skipped. Only faults raised by this thread while body runs are caught: one anywhere else still
// ends the process as it would have without the guard, so real bugs keep crashing. Because body
// may be abandoned at any instruction, it must be plain memory work: nothing in it may own a
// resource, hold a lock of this process, need a destructor or throw. Guards nest; the innermost
// catches.
bool RunCatchingBusErrors(void (*body)(void*), void* context) noexcept;

template <typename Body>
bool CatchingBusErrors(Body&& body) noexcept {
  using Target = std::remove_reference_t<Body>;
  return RunCatchingBusErrors([](void* target) { (*static_cast<Target*>(target))(); },
                              const_cast<std::remove_const_t<Target>*>(std::addressof(body)));
}

// From inside a body: gives it up as if it had faulted. A futex call on a page that was cut away
// answers EFAULT instead of raising the signal, and means the same thing. Outside any guard it
// returns, doing nothing.
void AbandonGuardedBody() noexcept;

}  // namespace tamrix
