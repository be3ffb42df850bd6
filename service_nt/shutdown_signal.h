#pragma once

#include <functional>
#include <thread>

#include "platform/posix/unique_fd.h"

namespace tamrix {

// Turns SIGTERM and SIGINT into one call on a thread of its own, so a service that the machine
// (or an operator) terminates still stops its engine and writes its lease database instead of
// dying on the spot. Make it before any other thread starts: the signals are blocked in the
// calling thread, and every thread started later inherits that. Destroying it ends the thread.
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
  UniqueFd signals_;
  UniqueFd wake_;
  std::thread thread_;
};

}  // namespace tamrix
