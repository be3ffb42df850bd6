#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/posix/posix_request_endpoint.h"
#include "platform/posix/unique_fd.h"

namespace tamrix {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr const char* kName = "operator";

class RequestEndpointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = "/tmp/tamrix-endpoint-XXXXXX";
    ASSERT_NE(mkdtemp(root_.data()), nullptr);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  RequestHandler Counting() {
    return [this](std::span<const std::uint8_t> request) {
      ++calls_;
      return Bytes(request.rbegin(), request.rend());
    };
  }
  // Made before any fork: a child of a threaded process only calls the system.
  sockaddr_un Address(PosixRequestEndpointSystem& endpoints) {
    sockaddr_un address{AF_UNIX, {}};
    const std::string path = endpoints.EndpointPath(kName);
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
  }
  static int Connect(const sockaddr_un& address) {
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }

  std::string root_;
  std::atomic<int> calls_{0};
};

// A server that crashed leaves its socket file: the next one serves in its place, while a second
// live owner is refused and the first keeps serving.
TEST_F(RequestEndpointTest, TakesOverADeadOwnersNameButNotALiveOnes) {
  PosixRequestEndpointSystem endpoints(MachinePaths{root_});
  const sockaddr_un address = Address(endpoints);
  std::filesystem::create_directories(root_ + "/run/tamrix");
  {
    UniqueFd stale(socket(AF_UNIX, SOCK_SEQPACKET, 0));
    ASSERT_EQ(bind(stale.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  }
  const Bytes request{1, 2, 3};
  EXPECT_FALSE(endpoints.Call(kName, request, 16, 2000));

  auto endpoint = endpoints.Serve(kName, 16, Counting());
  ASSERT_NE(endpoint, nullptr);
  EXPECT_EQ(endpoints.Call(kName, request, 16, 2000), (Bytes{3, 2, 1}));
  EXPECT_EQ(endpoints.Serve(kName, 16, Counting()), nullptr);

  endpoint.reset();
  EXPECT_FALSE(std::filesystem::exists(endpoints.EndpointPath(kName)));
  EXPECT_FALSE(endpoints.Call(kName, request, 16, 2000));
  EXPECT_EQ(calls_, 1);
}

// A caller that connects and never writes holds the endpoint no longer than its bound; requests
// over the limit never reach the handler, and a reply over the caller's limit is no reply.
TEST_F(RequestEndpointTest, StalledAndOversizedCallsAreHungUpOnAndServingGoesOn) {
  PosixRequestEndpointSystem endpoints(MachinePaths{root_}, 100);
  auto endpoint = endpoints.Serve(kName, 8, Counting());
  ASSERT_NE(endpoint, nullptr);
  UniqueFd silent(Connect(Address(endpoints)));
  ASSERT_TRUE(silent.valid());
  timeval bound{5, 0};
  setsockopt(silent.get(), SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);

  EXPECT_FALSE(endpoints.Call(kName, Bytes(9, 7), 64, 3000));
  const Bytes request(8, 1);
  EXPECT_EQ(endpoints.Call(kName, request, 64, 3000), request);
  char byte = 0;
  EXPECT_EQ(recv(silent.get(), &byte, 1, 0), 0);  // hung up on, not waited for
  EXPECT_FALSE(endpoints.Call(kName, request, 7, 3000));
  EXPECT_EQ(calls_, 2);
}

// The folder and the socket are opened to everyone here, so only the check of the caller's
// account stands between another account and the handler.
TEST_F(RequestEndpointTest, CallersOutsideTheOperatorsGetNothing) {
  if (geteuid() != 0) GTEST_SKIP() << "acting as another account needs root";
  PosixRequestEndpointSystem endpoints(MachinePaths{root_});
  auto endpoint = endpoints.Serve(kName, 16, Counting());
  ASSERT_NE(endpoint, nullptr);
  for (const char* folder : {"", "/run", "/run/tamrix"}) chmod((root_ + folder).c_str(), 0755);
  chmod(endpoints.EndpointPath(kName).c_str(), 0666);
  const sockaddr_un address = Address(endpoints);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const gid_t nogroup = 65534;
    if (setgroups(1, &nogroup) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    const int fd = Connect(address);
    if (fd < 0) _exit(4);
    timeval bound{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    char byte = 1;
    (void)!send(fd, &byte, 1, MSG_NOSIGNAL);  // the hang-up may come first
    const ssize_t n = recv(fd, &byte, 1, 0);
    _exit(n > 0 || (n < 0 && errno == EAGAIN) ? 1 : 0);  // answered, or held open
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(calls_, 0);
}

}  // namespace
}  // namespace tamrix
