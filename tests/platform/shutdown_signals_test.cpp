#include "platform/posix/shutdown_signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tamrix {
namespace {

using namespace std::chrono_literals;

// A shutdown must reach the loop as a notice, never as the default action that would end the
// process before the lease database is written.
TEST(SignalShutdownNoticeTest, BlockedTermAndIntArriveAsNotices) {
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, nullptr, &before);
  BlockShutdownSignals();
  {
    SignalShutdownNotice notice;
    ASSERT_TRUE(notice.IsOpen());
    EXPECT_FALSE(notice.Take());  // nothing announced yet, and the read does not block
    for (int signal : {SIGTERM, SIGINT}) {
      ASSERT_EQ(raise(signal), 0);
      EXPECT_TRUE(notice.Take()) << signal;
      EXPECT_FALSE(notice.Take()) << signal;  // taken once
    }
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

// The service's watcher takes a SIGTERM sent to the whole process, as the machine sends it, on
// its own thread; destroying it afterwards ends that thread.
TEST(ShutdownSignalWatcherTest, ATermToTheProcessBecomesOneCall) {
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, nullptr, &before);
  {
    std::mutex mutex;
    std::condition_variable changed;
    int calls = 0;
    ShutdownSignalWatcher watcher([&] {
      std::lock_guard lock(mutex);
      ++calls;
      changed.notify_all();
    });
    ASSERT_TRUE(watcher.IsWatching());
    ASSERT_EQ(kill(getpid(), SIGTERM), 0);
    std::unique_lock lock(mutex);
    EXPECT_TRUE(changed.wait_for(lock, 10s, [&] { return calls > 0; }));
    EXPECT_EQ(calls, 1);
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace
}  // namespace tamrix
