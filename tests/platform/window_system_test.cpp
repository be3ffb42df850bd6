#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "platform/posix/posix_window_system.h"

namespace tamrix {
namespace {

constexpr const char* kClass = "TAMRIXs_Class";
constexpr const char* kTitle = "TAMRIXs";

class WindowSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { root_ = MakeRoot("/tmp/tamrix-window-XXXXXX"); }
  void TearDown() override {
    for (const auto& r : roots_) std::filesystem::remove_all(r);
  }
  std::string MakeRoot(std::string pattern) {
    if (mkdtemp(pattern.data()) == nullptr) return {};
    roots_.push_back(pattern);
    return pattern;
  }
  PosixWindowSystem System(const std::string& root) {
    return PosixWindowSystem(MachinePaths{root});
  }

  // Serves the window on a thread of its own until the window is destroyed or the test ends.
  std::thread Serve(Window& window) {
    return std::thread([this, &window] {
      while (!stop_ && window.DispatchMessages(20) >= 0) {
      }
    });
  }

  std::string root_;
  std::vector<std::string> roots_;
  std::atomic<bool> stop_{false};
};

TEST_F(WindowSystemTest, FoundWhileItLivesAndNotAfter) {
  auto windows = System(root_);
  EXPECT_FALSE(windows.FindWindow(kClass, kTitle));
  auto window = windows.CreateWindow(kClass, kTitle, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(windows.FindWindow(kClass, kTitle));
  // Class and title both name it.
  EXPECT_FALSE(windows.FindWindow(kClass, "TAMRIX"));
  EXPECT_FALSE(windows.FindWindow("#32770", kTitle));
  window.reset();
  EXPECT_FALSE(windows.FindWindow(kClass, kTitle));
}

// The stop protocol relies on this: when SendMessage(WM_CLOSE) returns, the owner's handler has
// finished (the engine is stopped) and the window can no longer be found.
TEST_F(WindowSystemTest, SendMessageReturnsOnlyAfterTheProcedureReturned) {
  auto windows = System(root_);
  std::mutex m;
  std::condition_variable cv;
  bool entered = false, mayFinish = false, finished = false;
  std::atomic<bool> sendReturned{false};
  bool returnedEarly = true;
  std::unique_ptr<Window> window;
  window = windows.CreateWindow(kClass, kTitle, [&](const WindowMessage& message) -> std::int64_t {
    if (message.message != WM_CLOSE) return -1;
    std::unique_lock lock(m);
    entered = true;
    cv.notify_all();
    cv.wait(lock, [&] { return mayFinish; });
    window->Destroy();
    finished = true;
    return 7;
  });
  ASSERT_NE(window, nullptr);
  std::thread owner = Serve(*window);
  std::thread watcher([&] {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return entered; });
    returnedEarly = sendReturned.load();
    mayFinish = true;
    cv.notify_all();
  });
  auto handle = windows.FindWindow(kClass, kTitle);
  ASSERT_TRUE(handle);
  const auto answer = windows.SendMessage(*handle, WM_CLOSE, 0, 0);
  sendReturned = true;
  watcher.join();
  EXPECT_FALSE(returnedEarly);
  EXPECT_EQ(answer, 7);
  {
    std::lock_guard lock(m);
    EXPECT_TRUE(finished);
  }
  EXPECT_FALSE(windows.FindWindow(kClass, kTitle));
  owner.join();  // a destroyed window ends the owner's loop
  EXPECT_FALSE(windows.SendMessage(*handle, WM_CLOSE, 0, 0));
}

TEST_F(WindowSystemTest, MessagesArriveWithTheirParameters) {
  auto windows = System(root_);
  std::vector<WindowMessage> seen;
  auto window =
      windows.CreateWindow("#32770", "\xE7\xB0\xA1\xE6\x98\x93", [&](const WindowMessage& m) {
        seen.push_back(m);
        return static_cast<std::int64_t>(m.wParam) - 1;
      });
  ASSERT_NE(window, nullptr);
  std::thread owner = Serve(*window);
  auto handle = windows.FindWindow("#32770", "\xE7\xB0\xA1\xE6\x98\x93");
  ASSERT_TRUE(handle);
  EXPECT_EQ(windows.SendMessage(*handle, WM_SYSCOMMAND, SC_RESTORE, -2), 0xF11F);
  EXPECT_EQ(windows.SendMessage(*handle, WM_TAMRIX_FOREGROUND, 0, 0x7FFFFFFFFFFFFFFF), -1);
  stop_ = true;
  owner.join();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].message, WM_SYSCOMMAND);
  EXPECT_EQ(seen[0].wParam, SC_RESTORE);
  EXPECT_EQ(seen[0].lParam, -2);
  EXPECT_EQ(seen[1].message, WM_TAMRIX_FOREGROUND);
  EXPECT_EQ(seen[1].lParam, 0x7FFFFFFFFFFFFFFF);
}

// An owner that died leaves its socket file behind: nobody listens, so there is no window, and
// a new owner takes the name over.
TEST_F(WindowSystemTest, StaleEndpointIsNoWindowAndIsReplaced) {
  auto windows = System(root_);
  const std::string endpoint = windows.EndpointPath(kClass, kTitle);
  std::filesystem::create_directories(std::filesystem::path(endpoint).parent_path());
  {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(endpoint.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, endpoint.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);  // bound, never listening: what a killed owner leaves
  }
  EXPECT_FALSE(windows.FindWindow(kClass, kTitle));
  auto window = windows.CreateWindow(kClass, kTitle, [](const WindowMessage&) { return 5; });
  ASSERT_NE(window, nullptr);
  std::thread owner = Serve(*window);
  auto handle = windows.FindWindow(kClass, kTitle);
  ASSERT_TRUE(handle);
  EXPECT_EQ(windows.SendMessage(*handle, WM_SYSCOMMAND, SC_RESTORE, 0), 5);
  stop_ = true;
  owner.join();
}

TEST_F(WindowSystemTest, SecondOwnerOfTheSameWindowIsRefused) {
  auto windows = System(root_);
  auto first = windows.CreateWindow(kClass, kTitle, nullptr);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(windows.CreateWindow(kClass, kTitle, nullptr), nullptr);
  EXPECT_TRUE(windows.FindWindow(kClass, kTitle));  // the first is untouched
  first.reset();
  EXPECT_NE(windows.CreateWindow(kClass, kTitle, nullptr), nullptr);
}

TEST_F(WindowSystemTest, SeparateRootsNeverMeet) {
  auto a = System(root_);
  auto b = System(MakeRoot("/tmp/tamrix-window-XXXXXX"));
  auto window = a.CreateWindow(kClass, kTitle, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(b.FindWindow(kClass, kTitle));
  auto other = b.CreateWindow(kClass, kTitle, nullptr);
  EXPECT_NE(other, nullptr);
}

// Test roots can be deeper than a socket address holds.
TEST_F(WindowSystemTest, DeepRootStillWorks) {
  std::string deep = root_ + "/" + std::string(60, 'd') + "/" + std::string(60, 'e');
  auto windows = System(deep);
  ASSERT_GE(windows.EndpointPath(kClass, kTitle).size(), sizeof(sockaddr_un{}.sun_path));
  auto window = windows.CreateWindow(kClass, kTitle, [](const WindowMessage&) { return 9; });
  ASSERT_NE(window, nullptr);
  std::thread owner = Serve(*window);
  auto handle = windows.FindWindow(kClass, kTitle);
  ASSERT_TRUE(handle);
  EXPECT_EQ(windows.SendMessage(*handle, WM_SYSCOMMAND, SC_RESTORE, 0), 9);
  stop_ = true;
  owner.join();
}

// A presence check or a sender that gives up half-way must neither reach the procedure nor
// stop the owner from serving the next message.
TEST_F(WindowSystemTest, IncompleteRequestsAreDroppedAndServingGoesOn) {
  auto windows = System(root_);
  int calls = 0;
  auto window = windows.CreateWindow(kClass, kTitle, [&](const WindowMessage&) {
    ++calls;
    return 1;
  });
  ASSERT_NE(window, nullptr);
  const std::string endpoint = windows.EndpointPath(kClass, kTitle);
  for (std::size_t sent : {0u, 3u, 19u}) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, endpoint.c_str());
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::uint8_t junk[20] = {16};
    ASSERT_EQ(write(fd, junk, sent), static_cast<ssize_t>(sent));
    close(fd);
  }
  EXPECT_EQ(window->DispatchMessages(100), 0);
  EXPECT_EQ(calls, 0);
  std::thread owner = Serve(*window);
  EXPECT_EQ(windows.SendMessage(*windows.FindWindow(kClass, kTitle), WM_CLOSE), 1);
  stop_ = true;
  owner.join();
  EXPECT_EQ(calls, 1);
}

// The failed-start path sends WM_CLOSE to its own window from the owner's thread.
TEST_F(WindowSystemTest, OwnerSendingToItsOwnWindowDoesNotWaitOnItself) {
  auto windows = System(root_);
  std::unique_ptr<Window> window;
  window = windows.CreateWindow(kClass, kTitle, [&](const WindowMessage& m) -> std::int64_t {
    if (m.message == WM_CLOSE) window->Destroy();
    return 3;
  });
  ASSERT_NE(window, nullptr);
  auto handle = windows.FindWindow(kClass, kTitle);
  ASSERT_TRUE(handle);
  EXPECT_EQ(windows.SendMessage(*handle, WM_CLOSE, 0, 0, 2000), 3);
  EXPECT_TRUE(window->IsDestroyed());
  EXPECT_FALSE(windows.FindWindow(kClass, kTitle));
}

TEST_F(WindowSystemTest, OwnerDyingMidMessageFailsTheSender) {
  auto windows = System(root_);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto window = windows.CreateWindow(kClass, kTitle,
                                       [](const WindowMessage&) -> std::int64_t { _exit(0); });
    if (!window) _exit(1);
    const char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(1);
    for (int i = 0; i < 500; ++i) window->DispatchMessages(20);
    _exit(2);
  }
  close(ready[1]);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  auto handle = windows.FindWindow(kClass, kTitle);
  ASSERT_TRUE(handle);
  EXPECT_FALSE(windows.SendMessage(*handle, WM_CLOSE, 0, 0, 5000));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_FALSE(windows.FindWindow(kClass, kTitle));  // the file stays; nobody answers
}

}  // namespace
}  // namespace tamrix
