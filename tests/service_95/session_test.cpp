#include "service_95/session.h"

#include <gtest/gtest.h>
#include <signal.h>

namespace tamrix {
namespace {

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

}  // namespace
}  // namespace tamrix
