#pragma once

#include <functional>
#include <thread>

#include "platform/posix/unique_fd.h"
#include "platform/shutdown_signals.h"

namespace tamrix {

// The shutdown signals taken through a signalfd. They must be blocked in every thread, so call
// BlockShutdownSignals before any thread starts.
class SignalShutdownNotice final : public ShutdownNotice {
 public:
  SignalShutdownNotice();
  int Fd() const override { return fd_.get(); }
  bool Take() override;
  bool IsOpen() const { return fd_.valid(); }

 private:
  UniqueFd fd_;
};

// Turns the shutdown signals into one call on a thread of its own, so a service that the
// machine (or an operator) terminates still stops its engine and writes its lease database
// instead of dying on the spot. Make it before any other thread starts: it blocks the signals in
// the calling thread, and every thread started later inherits that. Destroying it ends the
// thread.
class ShutdownSignalWatcher {
 public:
  explicit ShutdownSignalWatcher(std::function<void()> onSignal);
  ~ShutdownSignalWatcher();
  ShutdownSignalWatcher(const ShutdownSignalWatcher&) = delete;
  ShutdownSignalWatcher& operator=(const ShutdownSignalWatcher&) = delete;

  bool IsWatching() const { return thread_.joinable(); }

 private:
  void Watch();

  std::function<void()> onSignal_;
  SignalShutdownNotice signals_;
  UniqueFd wake_;
  std::thread thread_;
};

}  // namespace tamrix
