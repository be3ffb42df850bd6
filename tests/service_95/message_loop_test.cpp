// The frame on the real window endpoints (Unix sockets in a temporary machine root) and the real
// engine on in-memory files and network: what another process sees when it stops the server.
#include "service_95/message_loop.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>

#include <filesystem>
#include <future>
#include <mutex>
#include <thread>

#include "engine/engine.h"
#include "engine/status_publication.h"
#include "platform/posix/posix_window_system.h"
#include "platform/posix/unique_fd.h"
#include "service_95/engine_control.h"
#include "service_nt/event_reporter.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_conflict_probe.h"
#include "tests/fakes/fake_file_system.h"
#include "tests/fakes/fake_host_lookup.h"
#include "tests/fakes/fake_udp_socket.h"
#include "tests/platform/temp_machine.h"

namespace tamrix {
namespace {

using namespace std::chrono_literals;

constexpr const char* kWindows = "/win";
constexpr const char* kIni = "/win/TAMRIX.ini";
constexpr const char* kDb = "/win/TAMRIX.db";

// The engine writes on the loop's thread while the sender looks from its own.
class SharedFiles final : public FileSystem {
 public:
  std::optional<std::string> ReadFile(const std::string& path) override {
    std::lock_guard lock(mutex_);
    return files_.ReadFile(path);
  }
  bool ReplaceFile(const std::string& path, std::string_view contents) override {
    std::lock_guard lock(mutex_);
    return files_.ReplaceFile(path, contents);
  }
  std::unique_ptr<AppendFile> OpenForAppend(const std::string& path) override {
    std::lock_guard lock(mutex_);
    auto file = files_.OpenForAppend(path);
    return file ? std::make_unique<LockedAppend>(mutex_, std::move(file)) : nullptr;
  }
  bool RemoveFile(const std::string& path) override {
    std::lock_guard lock(mutex_);
    return files_.RemoveFile(path);
  }
  std::optional<std::string> MoveAside(const std::string& path,
                                       const std::string& target) override {
    std::lock_guard lock(mutex_);
    return files_.MoveAside(path, target);
  }
  int RemoveLeftoverTemporaries(const std::string& path) override {
    std::lock_guard lock(mutex_);
    return files_.RemoveLeftoverTemporaries(path);
  }

 private:
  class LockedAppend final : public AppendFile {
   public:
    LockedAppend(std::mutex& mutex, std::unique_ptr<AppendFile> file)
        : mutex_(mutex), file_(std::move(file)) {}
    bool Append(std::string_view data) override {
      std::lock_guard lock(mutex_);
      return file_->Append(data);
    }
    bool Sync() override {
      std::lock_guard lock(mutex_);
      return file_->Sync();
    }

   private:
    std::mutex& mutex_;
    std::unique_ptr<AppendFile> file_;
  };

  std::mutex mutex_;
  testing::FakeFileSystem files_;
};

class NoPublication final : public StatusPublication {
 public:
  int StartStatusPublication(LeaseTable&) override { return 1; }
  int StopStatusPublication() override { return 1; }
};

// A shutdown announced by writing to an eventfd, as the signalfd does for SIGTERM.
class EventShutdown final : public ShutdownNotice {
 public:
  EventShutdown() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  int Fd() const override { return fd_.get(); }
  bool Take() override {
    eventfd_t value = 0;
    return eventfd_read(fd_.get(), &value) == 0 && value > 0;
  }
  void Announce() { eventfd_write(fd_.get(), 1); }

 private:
  UniqueFd fd_;
};

class NoRegistration final : public ServiceProcessRegistration {
 public:
  int RegisterServiceProcess(int) override { return 1; }
};

std::string Settings(const std::string& pool) {
  return "[TAMRIX]\r\n" + pool + "SubnetMask=255.255.255.0\r\nLeaseTime=3600\r\nOptUseLog=1\r\n";
}

class MessageLoopTest : public ::testing::Test {
 protected:
  MessageLoopTest() {
    hosts.thisHost = {0xC0000201};
    files.ReplaceFile(kIni, Settings("StartIPAddr=192.0.2.100\r\nEndIPAddr=192.0.2.150\r\n"));
  }

  std::string EndpointPath() const {
    return windows.EndpointPath(kServiceWindowClass, kServiceWindowTitle);
  }

  testing::TempMachine machine;
  PosixWindowSystem windows{machine.paths};
  SharedFiles files;
  testing::FakeClock clock;
  testing::FakeHostLookup hosts;
  testing::FakeConflictProbe probe;
  testing::FakeUdpNetwork network;
  InertEventReporter reporter;
  NoPublication publication;
  Engine engine{EngineEnvironment{kWindows, files, clock, hosts, probe, network, reporter,
                                  publication, /*runMaintenanceThread=*/false}};
  EngineControl control{engine};
  NoRegistration registration;
  EventShutdown shutdown;
  ServiceFrame frame{windows, control, registration, [](std::string_view) {}};
};

TEST_F(MessageLoopTest, CloseFromAnotherThreadReturnsOnlyOnceTheDatabaseIsWrittenAndTheWindowGone) {
  ASSERT_TRUE(frame.Launch());
  ASSERT_TRUE(engine.IsRunning());
  ASSERT_FALSE(files.ReadFile(kDb));

  auto sender = std::async(std::launch::async, [&] {
    PosixWindowSystem other(machine.paths);  // another program's view of the same machine
    auto handle = other.FindWindow(kServiceWindowClass, kServiceWindowTitle);
    if (!handle) return std::string("window not found");
    if (other.SendMessage(*handle, WM_QUERYOPEN, 0, 0, 5000) != 0) return std::string("restore");
    if (other.SendMessage(*handle, WM_CLOSE, 0, 0, 5000) != 0) return std::string("no answer");
    if (!files.ReadFile(kDb)) return std::string("database not yet written");
    if (other.FindWindow(kServiceWindowClass, kServiceWindowTitle)) return std::string("window");
    return std::string("ok");
  });
  EXPECT_EQ(RunMessageLoop(frame, shutdown), 0);
  ASSERT_EQ(sender.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(sender.get(), "ok");
  EXPECT_FALSE(engine.IsRunning());
  EXPECT_FALSE(network.IsOpen());
}

TEST_F(MessageLoopTest, ShutdownNoticeStopsAndWritesTheDatabase) {
  ASSERT_TRUE(frame.Launch());
  shutdown.Announce();
  EXPECT_EQ(RunMessageLoop(frame, shutdown), 0);
  EXPECT_TRUE(files.ReadFile(kDb));
  EXPECT_FALSE(std::filesystem::exists(EndpointPath()));
  EXPECT_FALSE(windows.FindWindow(kServiceWindowClass, kServiceWindowTitle));
}

TEST_F(MessageLoopTest, RefusedSettingsLeaveNoEndpointAndNoDatabaseWrite) {
  // A pool of 257 addresses.
  files.ReplaceFile(kIni, Settings("StartIPAddr=192.0.2.0\r\nEndIPAddr=192.0.3.0\r\n"));
  EXPECT_FALSE(frame.Launch());
  EXPECT_FALSE(engine.IsRunning());
  EXPECT_FALSE(std::filesystem::exists(EndpointPath()));
  EXPECT_FALSE(windows.FindWindow(kServiceWindowClass, kServiceWindowTitle));
  EXPECT_FALSE(files.ReadFile(kDb));  // a failed start leaves the database as it was
}

TEST_F(MessageLoopTest, SecondFrameOnTheSameMachineFindsTheFirstAndLeavesItServing) {
  ASSERT_TRUE(frame.Launch());
  std::vector<std::string> warnings;
  NoRegistration otherRegistration;
  class NeverStarted final : public ServiceEngine {
   public:
    int EngineStart() override { return ++calls, 1; }
    int EngineStop() override { return ++calls, 1; }
    int calls = 0;
  } otherEngine;
  PosixWindowSystem otherWindows(machine.paths);
  ServiceFrame second(otherWindows, otherEngine, otherRegistration,
                      [&](std::string_view text) { warnings.emplace_back(text); });
  EXPECT_FALSE(second.Launch());
  EXPECT_EQ(warnings, (std::vector<std::string>{std::string(kAlreadyRunningMessage)}));
  EXPECT_EQ(otherEngine.calls, 0);
  EXPECT_TRUE(engine.IsRunning());
  EXPECT_TRUE(windows.FindWindow(kServiceWindowClass, kServiceWindowTitle));
  frame.WindowProcedure({WM_CLOSE, 0, 0});
}

}  // namespace
}  // namespace tamrix
