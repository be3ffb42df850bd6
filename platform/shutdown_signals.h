#pragma once

namespace tamrix {

// Where the shutdown signals arrive (SIGTERM when the machine goes down, SIGINT from an
// operator): a descriptor that turns readable, and a way to take the notice off it.
class ShutdownNotice {
 public:
  virtual ~ShutdownNotice() = default;
  virtual int Fd() const = 0;
  virtual bool Take() = 0;  // true when a shutdown was announced; never blocks
};

// Keeps the shutdown signals from the calling thread and every thread it starts afterwards, so
// they reach a notice instead of ending the server before its lease database is written. Call
// before any other thread starts.
void BlockShutdownSignals();
void UnblockShutdownSignals();

}  // namespace tamrix
