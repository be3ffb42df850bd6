#include "status/status_publication.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "engine/conflict_probe.h"
#include "engine/engine.h"
#include "engine/lease_table.h"
#include "platform/posix/bus_error_guard.h"
#include "platform/posix/operator_access.h"
#include "platform/posix/posix_shared_block.h"
#include "platform/posix/unique_fd.h"
#include "service_nt/event_reporter.h"
#include "status/status_block.h"
#include "status/status_client.h"
#include "storage/lease_database.h"
#include "storage/server_settings.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_conflict_probe.h"
#include "tests/fakes/fake_file_system.h"
#include "tests/fakes/fake_host_lookup.h"
#include "tests/fakes/fake_udp_socket.h"
#include "tests/fakes/recording_event_sink.h"

namespace tamrix {
namespace {

using Clock = std::chrono::steady_clock;
using Snapshot = std::array<LeaseEntry, StatusBlock::kSlotCount>;

constexpr std::uint32_t kPoolStart = 0xC0A80064;  // 192.168.0.100

ClientId Client(std::uint8_t last) {
  const std::uint8_t hw[6] = {0x00, 0xA0, 0xC9, 0x12, 0x34, last};
  return MakeClientId(1, hw, 6);
}

// A pool of ten addresses in every state, with the release rules of the lease table.
class FakeTable final : public LeaseTableAccess {
 public:
  FakeTable() {
    const std::uint32_t states[] = {LEASE_FREE,     LEASE_RESERVED, LEASE_OFFERED, LEASE_BOUND,
                                    LEASE_GRACE,    LEASE_FREE,     LEASE_BOUND,   LEASE_OFFERED,
                                    LEASE_RESERVED, LEASE_FREE};
    for (int i = 0; i < 10; ++i) {
      LeaseEntry e;
      e.state = states[i];
      e.address = kPoolStart + static_cast<std::uint32_t>(i);
      if (e.state != LEASE_FREE) e.client = Client(static_cast<std::uint8_t>(i));
      SetHostName(e, "host" + std::to_string(i));
      e.expiry = 1'000'000 + i;
      entries.push_back(e);
    }
  }

  int CopyLeaseTable(std::span<LeaseEntry, StatusBlock::kSlotCount> out) override {
    std::unique_lock lock(mutex);
    ++copies;
    copying.notify_all();
    gateOpen.wait(lock, [&] { return !gateClosed; });
    std::copy(entries.begin(), entries.end(), out.begin());
    return static_cast<int>(entries.size());
  }

  int ReleaseAddress(std::uint32_t address, const ClientId& client) override {
    std::lock_guard lock(mutex);
    ++releases;
    for (auto& e : entries) {
      if (e.address != address) continue;
      if (HasReservedBit(e.state)) return 0;
      if (IsHeld(e.state) && !client.IsEmpty() && !(e.client == client)) return 0;
      e.state = LEASE_FREE;
      SetHostName(e, "");
      return 1;
    }
    return 0;
  }

  void CloseGate() {
    std::lock_guard lock(mutex);
    gateClosed = true;
  }
  void OpenGate() {
    {
      std::lock_guard lock(mutex);
      gateClosed = false;
    }
    gateOpen.notify_all();
  }

  // True once more than `count` snapshots have reached the table.
  bool WaitForCopiesAbove(int count) {
    std::unique_lock lock(mutex);
    return copying.wait_for(lock, std::chrono::seconds(10), [&] { return copies > count; });
  }
  int Copies() {
    std::lock_guard lock(mutex);
    return copies;
  }

  std::mutex mutex;
  std::condition_variable gateOpen, copying;
  bool gateClosed = false;
  std::vector<LeaseEntry> entries;
  int copies = 0;
  int releases = 0;
};

class StatusPublicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/tamrix-publication-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    root_ = dir;
    blocks_ = std::make_unique<PosixSharedBlockSystem>(MachinePaths{root_});
    server_ = std::make_unique<StatusPublicationServer>(*blocks_, 10);
  }
  void TearDown() override {
    server_.reset();
    std::filesystem::remove_all(root_);
  }

  StatusClient MakeClient(int boundMs = 3000) {
    return StatusClient(*blocks_, StatusClientOptions{boundMs, {}});
  }
  int Count() {
    Snapshot out{};
    return MakeClient().FetchLeaseSnapshot(out);
  }
  const LeaseEntry& Entry(int i) { return table_.entries[static_cast<std::size_t>(i)]; }

  // Runs one hand-written exchange, for commands and slot words a well-behaved client never
  // sends; answers the block's result and command word afterwards.
  std::pair<std::int32_t, std::uint32_t> RawExchange(std::uint32_t command, std::uint32_t slot) {
    auto block = blocks_->Open(StatusBlockNames(), StatusBlock::kSize);
    EXPECT_NE(block, nullptr);
    if (!block) return {};
    EXPECT_NE(block->LockExchange(1000), ExchangeLock::kBusy);
    EXPECT_TRUE(block->Wait(BlockEvent::kTurn, 1000));
    StatusBlockView view(block->Bytes());
    view.SetResult(12345);
    view.SetRequestSlot(slot);
    view.SetCommand(command);
    block->Signal(BlockEvent::kRequest);
    EXPECT_TRUE(block->Wait(BlockEvent::kTurn, 1000));
    std::pair answer{view.Result(), view.Command()};
    view.SetRequestSlot(0);
    block->Signal(BlockEvent::kTurn);
    block->UnlockExchange();
    return answer;
  }

  std::string root_;
  FakeTable table_;
  std::unique_ptr<PosixSharedBlockSystem> blocks_;
  std::unique_ptr<StatusPublicationServer> server_;
};

TEST_F(StatusPublicationTest, SnapshotCopiesEveryEntryWhateverItsState) {
  ASSERT_EQ(server_->Start(table_), 1);
  Snapshot out{};
  ASSERT_EQ(MakeClient().FetchLeaseSnapshot(out), 10);
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(out[i].state, Entry(i).state);
    EXPECT_EQ(out[i].address, Entry(i).address);
    EXPECT_EQ(out[i].client, Entry(i).client);
    EXPECT_EQ(HostName(out[i]), HostName(Entry(i)));
    EXPECT_EQ(out[i].expiry, Entry(i).expiry);
  }
}

TEST_F(StatusPublicationTest, ReleaseAnswersByTheTableRules) {
  ASSERT_EQ(server_->Start(table_), 1);
  struct Case {
    const char* what;
    int index;  // -1: an address outside the pool
    std::uint8_t client;
    int expected;
  } cases[] = {
      {"offered, own identifier", 2, 2, 0},
      {"reserved", 1, 1, -1},
      {"bound, another client's identifier", 3, 9, -1},
      {"not in the pool", -1, 1, -1},
      {"grace, own identifier", 4, 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::uint32_t address = c.index < 0 ? kPoolStart + 200 : Entry(c.index).address;
    const std::uint32_t before = c.index < 0 ? 0 : Entry(c.index).state;
    EXPECT_EQ(MakeClient().RequestRelease(address, Client(c.client), "ignored"), c.expected);
    Snapshot out{};
    ASSERT_EQ(MakeClient().FetchLeaseSnapshot(out), 10);
    if (c.index >= 0) {
      EXPECT_EQ(out[c.index].state, c.expected == 0 ? LEASE_FREE : before);
    }
  }
}

TEST_F(StatusPublicationTest, StoppedServiceFailsAtOnceWithoutWaiting) {
  // Never started, then started and stopped: in both cases nothing exists to wait on.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    if (round == 1) {
      ASSERT_EQ(server_->Start(table_), 1);
      ASSERT_EQ(Count(), 10);
      ASSERT_EQ(server_->Stop(), 1);
    }
    const auto start = Clock::now();
    Snapshot out{};
    EXPECT_EQ(MakeClient(5000).FetchLeaseSnapshot(out), 0);
    EXPECT_EQ(MakeClient(5000).RequestRelease(Entry(2).address, Client(2)), -1);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
  }
}

// Starting a second server on the same machine (the other host program, say) fails on port 67.
// That failure must leave the running server's block reachable: the panel keeps its lease list.
TEST_F(StatusPublicationTest, ServerThatCannotHaveThePortLeavesTheRunningOnesBlock) {
  testing::FakeFileSystem files;
  files.files["/win/TAMRIX.ini"] =
      "[TAMRIX]\r\nStartIPAddr=192.168.0.100\r\nEndIPAddr=192.168.0.109\r\n"
      "SubnetMask=255.255.255.0\r\n";
  testing::FakeClock clock;
  testing::FakeHostLookup hosts;
  SilentProbe probe;
  InertEventReporter reporter;
  testing::FakeUdpNetwork running, refused;
  refused.openError = EADDRINUSE;
  SharedStatusPublication runningBlock(*blocks_, 10), refusedBlock(*blocks_, 10);
  Engine first(EngineEnvironment{"/win", files, clock, hosts, probe, running, reporter,
                                 runningBlock, false});
  Engine second(EngineEnvironment{"/win", files, clock, hosts, probe, refused, reporter,
                                  refusedBlock, false});

  ASSERT_EQ(first.EngineStart(), 1);
  ASSERT_EQ(Count(), 10);
  EXPECT_EQ(second.EngineStart(), 0);
  EXPECT_EQ(Count(), 10);
  first.EngineStop();
  EXPECT_EQ(Count(), 0);
}

TEST_F(StatusPublicationTest, UnknownCommandAnswersZeroAndIsCleared) {
  ASSERT_EQ(server_->Start(table_), 1);
  for (std::uint32_t command : {0u, 3u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(command);
    const auto [result, after] = RawExchange(command, 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(after, 0u);
  }
  EXPECT_EQ(table_.releases, 0);
  EXPECT_EQ(Count(), 10);
}

// Any operator may write the block; a slot word outside the slots must not make the
// service read outside the block.
TEST_F(StatusPublicationTest, ReleaseWithSlotWordOutsideTheSlotsIsRefused) {
  ASSERT_EQ(server_->Start(table_), 1);
  for (std::uint32_t slot : {256u, 1000u, 0x80000000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(slot);
    const auto [result, after] = RawExchange(CMD_RELEASE, slot);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(after, 0u);
  }
  EXPECT_EQ(table_.releases, 0);
}

TEST_F(StatusPublicationTest, ReleaseNamedByAnotherSlotUsesThatSlot) {
  ASSERT_EQ(server_->Start(table_), 1);
  auto block = blocks_->Open(StatusBlockNames(), StatusBlock::kSize);
  ASSERT_NE(block, nullptr);
  LeaseEntry request;
  request.address = Entry(3).address;
  request.client = Client(3);
  StatusBlockView(block->Bytes()).WriteEntry(255, request);
  EXPECT_EQ(RawExchange(CMD_RELEASE, 255).first, 0);
  EXPECT_EQ(Entry(3).state, LEASE_FREE);
}

TEST_F(StatusPublicationTest, ReleaseWithOverlongIdentifierIsRefused) {
  ASSERT_EQ(server_->Start(table_), 1);
  ClientId overlong = Client(2);
  overlong.length = 200;
  EXPECT_EQ(MakeClient().RequestRelease(Entry(2).address, overlong), -1);
  EXPECT_EQ(table_.releases, 0);
  EXPECT_EQ(Entry(2).state, LEASE_OFFERED);
}

// Answers given by a hand-made service: the client must not trust the count it reads back.
TEST_F(StatusPublicationTest, ClientClampsTheCountItReadsBack) {
  auto service = blocks_->Create(StatusBlockNames(), StatusBlock::kSize);
  ASSERT_NE(service, nullptr);
  for (std::int32_t answer : {-5, 0, 256, 257, 0x7FFFFFFF}) {
    SCOPED_TRACE(answer);
    std::thread fake([&] {
      service->Signal(BlockEvent::kTurn);
      ASSERT_TRUE(service->Wait(BlockEvent::kRequest, 2000));
      StatusBlockView view(service->Bytes());
      view.SetResult(answer);
      view.SetCommand(0);
      service->Signal(BlockEvent::kTurn);
    });
    Snapshot out{};
    EXPECT_EQ(MakeClient().FetchLeaseSnapshot(out), std::clamp(answer, 0, 256));
    fake.join();
    service->Wait(BlockEvent::kTurn, 0);  // the turn handed back
  }
}

TEST_F(StatusPublicationTest, ServiceStoppingMidExchangeDoesNotHangTheClient) {
  ASSERT_EQ(server_->Start(table_), 1);
  table_.CloseGate();
  const auto start = Clock::now();
  Snapshot out{};
  EXPECT_EQ(MakeClient(150).FetchLeaseSnapshot(out), 0);
  EXPECT_EQ(MakeClient(150).RequestRelease(Entry(2).address, Client(2)), -1);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  table_.OpenGate();
  // The late answer hands the turn on: the next exchange works.
  EXPECT_EQ(Count(), 10);
  EXPECT_EQ(server_->Stop(), 1);
  EXPECT_EQ(Count(), 0);
}

TEST_F(StatusPublicationTest, ConcurrentClientsNeverTakeEachOthersAnswer) {
  ASSERT_EQ(server_->Start(table_), 1);
  std::atomic<int> wrong{0};
  auto snapshots = [&] {
    for (int i = 0; i < 200; ++i) {
      Snapshot out{};
      if (MakeClient().FetchLeaseSnapshot(out) != 10) ++wrong;
    }
  };
  auto releases = [&] {
    // Always refused: an answer taken from a snapshot would read 10, not -1.
    for (int i = 0; i < 200; ++i) {
      if (MakeClient().RequestRelease(Entry(1).address, Client(1)) != -1) ++wrong;
    }
  };
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int bad = 0;
    for (int i = 0; i < 200; ++i) {
      Snapshot out{};
      if (MakeClient().FetchLeaseSnapshot(out) != 10) ++bad;
    }
    _exit(bad == 0 ? 0 : 1);
  }
  std::thread a(snapshots), b(releases), c(snapshots);
  a.join();
  b.join();
  c.join();
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "forked client saw a wrong answer";
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(StatusPublicationTest, ForkedClientProcessReleasesAndSnapshots) {
  ASSERT_EQ(server_->Start(table_), 1);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    StatusClient client(*blocks_, StatusClientOptions{3000, {}});
    const int released = client.RequestRelease(Entry(3).address, Client(3));
    Snapshot out{};
    const int count = client.FetchLeaseSnapshot(out);
    _exit(released == 0 && count == 10 && out[3].state == LEASE_FREE ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Entry(3).state, LEASE_FREE);
}

// A control panel killed at any point of an exchange must not leave the block unusable.
TEST_F(StatusPublicationTest, ClientKilledMidExchangeLeavesTheBlockUsable) {
  ASSERT_EQ(server_->Start(table_), 1);
  for (ExchangeStep step : {ExchangeStep::kLocked, ExchangeStep::kTurnTaken,
                            ExchangeStep::kRequestSent, ExchangeStep::kAnswerRead}) {
    SCOPED_TRACE(static_cast<int>(step));
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      StatusClientOptions options{3000, [&](ExchangeStep reached) {
                                    if (reached != step) return;
                                    const char byte = 1;
                                    (void)!write(ready[1], &byte, 1);
                                    for (;;) pause();
                                  }};
      Snapshot out{};
      StatusClient(*blocks_, options).FetchLeaseSnapshot(out);
      _exit(2);
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(Count(), 10);
    EXPECT_EQ(MakeClient().RequestRelease(Entry(1).address, Client(1)), -1);
  }
}

TEST_F(StatusPublicationTest, SeparateRootsNeverMeet) {
  ASSERT_EQ(server_->Start(table_), 1);
  char dir[] = "/tmp/tamrix-publication-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  PosixSharedBlockSystem other(MachinePaths{dir});
  Snapshot out{};
  EXPECT_EQ(StatusClient(other, StatusClientOptions{1000, {}}).FetchLeaseSnapshot(out), 0);
  EXPECT_NE(other.ObjectName("testmap"), blocks_->ObjectName("testmap"));
  EXPECT_EQ(PosixSharedBlockSystem(MachinePaths{}).ObjectName("testmap"), "/testmap");
  std::filesystem::remove_all(dir);
}

// Only root and the group "tamrix" (root alone on a machine without it) may open the objects,
// whatever the umask, and an account outside the group cannot.
TEST_F(StatusPublicationTest, ObjectsAreOpenToOperatorsOnlyWhateverTheUmask) {
  const std::optional<gid_t> group = OperatorGroupId();
  const auto names = StatusBlockNames();
  for (mode_t mask : {mode_t{0}, mode_t{077}}) {
    SCOPED_TRACE(mask);
    const mode_t old = umask(mask);
    const int started = server_->Start(table_);
    umask(old);
    ASSERT_EQ(started, 1);
    for (const std::string& name : {names.block, names.request, names.turn, names.lock}) {
      SCOPED_TRACE(name);
      struct stat info {};
      ASSERT_EQ(stat(("/dev/shm" + blocks_->ObjectName(name)).c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 07777, group ? 0660u : 0600u);
      if (group) {
        EXPECT_EQ(info.st_gid, *group);
      }
    }
    ASSERT_EQ(server_->Stop(), 1);
  }
  struct stat info {};
  EXPECT_NE(stat(("/dev/shm" + blocks_->ObjectName(names.block)).c_str(), &info), 0);

  if (geteuid() != 0) GTEST_SKIP() << "trying another account needs root";
  ASSERT_EQ(server_->Start(table_), 1);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
    if (AccountIsOperator(kNobody)) _exit(3);
    Snapshot out{};
    const bool refused =
        shm_open(blocks_->ObjectName(names.block).c_str(), O_RDONLY, 0) < 0 && errno == EACCES &&
        StatusClient(*blocks_, StatusClientOptions{200, {}}).FetchLeaseSnapshot(out) == 0;
    _exit(refused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_EQ(Count(), 10);
}

// Where this process has path mapped, leaving out the addresses in `known`.
std::vector<std::uintptr_t> MappedAt(const std::string& path,
                                     const std::vector<std::uintptr_t>& known = {}) {
  std::vector<std::uintptr_t> starts;
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    if (line.find(path) == std::string::npos) continue;
    const std::uintptr_t start = std::stoull(line, nullptr, 16);
    if (std::find(known.begin(), known.end(), start) == known.end()) starts.push_back(start);
  }
  return starts;
}

// An inaccessible page at an address, when nothing is mapped there.
class BarrierPage {
 public:
  explicit BarrierPage(std::uintptr_t at) {
    address_ = at == 0 ? MAP_FAILED
                       : mmap(reinterpret_cast<void*>(at), kSize, PROT_NONE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  }
  ~BarrierPage() {
    if (address_ != MAP_FAILED) munmap(address_, kSize);
  }
  BarrierPage(const BarrierPage&) = delete;
  BarrierPage& operator=(const BarrierPage&) = delete;

 private:
  static constexpr std::size_t kSize = 4096;
  void* address_;
};

// The parameter names one of the four objects by its role.
class ObjectCutShortTest : public StatusPublicationTest,
                           public ::testing::WithParamInterface<std::string> {
 protected:
  std::string PathOf(const std::string& role) {
    const SharedBlockNames names = StatusBlockNames();
    const std::string& name = role == "request" ? names.request
                              : role == "turn"  ? names.turn
                              : role == "lock"  ? names.lock
                                                : names.block;
    return "/dev/shm" + blocks_->ObjectName(name);
  }
};

// Whoever may open the objects may also cut them short. Each is cut while the service is in the
// middle of an exchange (the command read, the answer not yet written) and a client thread of
// this process holds the exchange lock: neither may fault, and that thread must be answered again
// once the service has replaced what was cut. The C library links the robust mutexes a thread
// holds through the mutexes themselves, so a lock cut short while held stays linked: whatever
// comes to sit at its address (here an inaccessible page, if the address came free) must not be
// written through when the thread locks again.
TEST_P(ObjectCutShortTest, MidExchangeIsReplacedAndServiceGoesOn) {
  ASSERT_EQ(server_->Start(table_), 1);
  const std::string lockPath = PathOf("lock");
  for (int round = 0; round < 2; ++round) {  // the second cuts what the first made afresh
    SCOPED_TRACE(round);
    table_.CloseGate();
    const int before = table_.Copies();
    const std::vector<std::uintptr_t> serviceLock = MappedAt(lockPath);
    std::atomic<int> answered{-1};
    std::thread client([&] {
      std::uintptr_t clientLock = 0;
      StatusClientOptions options{300, [&](ExchangeStep step) {
                                    if (step != ExchangeStep::kLocked) return;
                                    const auto mine = MappedAt(lockPath, serviceLock);
                                    if (!mine.empty()) clientLock = mine.front();
                                  }};
      Snapshot out{};
      StatusClient(*blocks_, options).FetchLeaseSnapshot(out);  // cut short under it
      BarrierPage barrier(clientLock);
      const auto deadline = Clock::now() + std::chrono::seconds(10);
      int count = 0;
      while ((count = MakeClient(300).FetchLeaseSnapshot(out)) != 10 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // polling a bounded wait
      }
      answered = count;
    });
    const bool midExchange = table_.WaitForCopiesAbove(before);
    EXPECT_TRUE(midExchange);
    if (midExchange) {
      EXPECT_EQ(truncate(PathOf(GetParam()).c_str(), 0), 0);
    }
    table_.OpenGate();
    client.join();
    EXPECT_EQ(answered.load(), 10);
  }
  EXPECT_EQ(server_->Stop(), 1);
}

INSTANTIATE_TEST_SUITE_P(EachObject, ObjectCutShortTest,
                         ::testing::Values("block", "request", "turn", "lock"),
                         [](const auto& info) { return info.param; });

// The guards catch faults only inside their bodies and only in their own thread: any other bus
// error is a bug and still ends the process.
TEST(BusErrorGuardTest, FaultOutsideAnyGuardStillEndsTheProcess) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const UniqueFd fd(memfd_create("tamrix-guard-test", MFD_CLOEXEC));
    void* page = fd.valid() && ftruncate(fd.get(), 4096) == 0
                     ? mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0)
                     : MAP_FAILED;
    if (page == MAP_FAILED || ftruncate(fd.get(), 0) != 0) _exit(3);
    volatile char* byte = static_cast<char*>(page);
    if (CatchingBusErrors([&] { *byte = 1; })) _exit(3);
    std::atomic<bool> inside{false};
    std::thread([&] {
      CatchingBusErrors([&] {
        inside = true;
        for (;;) pause();
      });
    }).detach();
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!inside && Clock::now() < deadline) std::this_thread::yield();
    if (!inside) _exit(3);
    *byte = 1;
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  // Killed by SIGBUS, or ended by a sanitizer's report of it; surviving it is the fault.
  EXPECT_TRUE(WIFSIGNALED(status) ? WTERMSIG(status) == SIGBUS
                                  : WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 3)
      << "status " << status;
}

// A service that died left its objects behind: the next start replaces them, and a stale, short
// block is never mapped by a client.
TEST_F(StatusPublicationTest, LeftoverObjectsAreReplacedAndShortBlocksRefused) {
  const std::string stale = "/dev/shm" + blocks_->ObjectName("testmap");
  {
    std::FILE* f = std::fopen(stale.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  Snapshot out{};
  EXPECT_EQ(MakeClient().FetchLeaseSnapshot(out), 0);  // an empty object is not mapped
  ASSERT_EQ(server_->Start(table_), 1);
  EXPECT_EQ(Count(), 10);
}

// The engine's own table behind the block, as the service programs run it.
TEST_F(StatusPublicationTest, PublishesTheEngineLeaseTable) {
  testing::FakeClock clock;
  testing::FakeHostLookup hosts;
  testing::FakeFileSystem files;
  testing::RecordingEventSink events;
  testing::FakeConflictProbe probe;
  ServerSettings settings;
  const std::string database = "/win/TAMRIX.db";
  LeaseEntry reserved;
  reserved.state = LEASE_RESERVED;
  reserved.address = kPoolStart + 5;
  reserved.client = Client(5);
  const std::vector<LeaseEntry> stored = {reserved};
  files.files[database] = FormatLeaseDatabase(kPoolStart, kPoolStart + 9, stored);
  LeaseTable table({clock, hosts, files, events, probe, settings, database, false});
  LeaseTableSettings pool;
  pool.StartIPAddr = "192.168.0.100";
  pool.EndIPAddr = "192.168.0.109";
  pool.SubnetMask = "255.255.255.0";
  pool.LeaseTime = 3600;
  ASSERT_EQ(table.LeaseTableInit(pool), 0);
  const std::uint32_t offered = table.OfferAddress("pc01", Client(1));
  ASSERT_NE(offered, 0u);

  SharedStatusPublication publication(*blocks_, 10);
  ASSERT_EQ(publication.StartStatusPublication(table), 1);
  Snapshot out{};
  ASSERT_EQ(MakeClient().FetchLeaseSnapshot(out), 10);
  EXPECT_EQ(out[offered - kPoolStart].state, LEASE_OFFERED);
  EXPECT_EQ(out[5].state, LEASE_RESERVED);

  EXPECT_EQ(MakeClient().RequestRelease(offered, Client(1)), 0);
  EXPECT_EQ(MakeClient().RequestRelease(reserved.address, Client(5)), -1);
  ASSERT_EQ(MakeClient().FetchLeaseSnapshot(out), 10);
  EXPECT_EQ(out[offered - kPoolStart].state, LEASE_FREE);
  EXPECT_EQ(out[5].state, LEASE_RESERVED);

  EXPECT_EQ(publication.StopStatusPublication(), 1);
  EXPECT_EQ(MakeClient().FetchLeaseSnapshot(out), 0);
  table.LeaseTableShutdown();
}

TEST(StatusBlockLayoutTest, EntryFieldsSitAtTheirOffsets) {
  std::vector<std::uint8_t> bytes(StatusBlock::kSize, 0xEE);
  StatusBlockView view(bytes);
  LeaseEntry e;
  e.state = LEASE_BOUND;
  e.address = 0xC0A80001;
  e.client = Client(0x56);
  SetHostName(e, "pc01");
  e.expiry = 0x01020304;
  ASSERT_TRUE(view.WriteEntry(0, e));
  view.SetCommand(CMD_RELEASE);
  view.SetResult(-1);
  view.SetRequestSlot(7);
  struct Field {
    std::size_t offset;
    std::vector<std::uint8_t> bytes;
  } fields[] = {
      {0, {2, 0, 0, 0}},
      {4, {0xFF, 0xFF, 0xFF, 0xFF}},
      {8, {7, 0, 0, 0}},
      {12, {0, 0, 0, 0x80}},
      {16, {0x01, 0x00, 0xA8, 0xC0}},
      {20, {7, 1, 0x00, 0xA0, 0xC9, 0x12, 0x34, 0x56}},
      {38, {'p', 'c', '0', '1', 0}},
      {104, {0x04, 0x03, 0x02, 0x01}},
      {108, {0xEE}},  // slot 1 untouched
  };
  for (const Field& f : fields) {
    SCOPED_TRACE(f.offset);
    EXPECT_TRUE(std::equal(f.bytes.begin(), f.bytes.end(), bytes.begin() + f.offset));
  }
  LeaseEntry back;
  ASSERT_TRUE(view.ReadEntry(0, back));
  EXPECT_EQ(back.client, e.client);
  EXPECT_EQ(back.expiry, e.expiry);
}

TEST(StatusBlockLayoutTest, AccessOutsideTheBlockIsRefused) {
  std::vector<std::uint8_t> bytes(StatusBlock::kSize, 0);
  StatusBlockView view(bytes);
  LeaseEntry e;
  e.address = 0xFFFFFFFF;
  EXPECT_TRUE(view.WriteEntry(255, e));
  EXPECT_EQ(bytes[StatusBlock::kSize - 96 + 4], 0xFF);
  EXPECT_FALSE(view.WriteEntry(256, e));
  EXPECT_FALSE(view.ReadEntry(256, e));
  // A view shorter than the block reads 0 and writes nothing past its end.
  std::vector<std::uint8_t> shortBytes(100, 0);
  StatusBlockView shortView(std::span<std::uint8_t>(shortBytes).first(50));
  EXPECT_FALSE(shortView.IsComplete());
  EXPECT_FALSE(shortView.WriteEntry(0, e));
  shortView.WriteU32(48, 0xFFFFFFFF);
  EXPECT_EQ(shortBytes[50], 0);
  EXPECT_EQ(shortView.ReadU32(48), 0u);
}

}  // namespace
}  // namespace tamrix
