#include "service_95/service_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fakes/fake_window_system.h"

namespace tamrix {
namespace {

using testing::FakeWindowSystem;

// Writes every call into one shared list, so the order of steps across the parts can be checked.
class Recorder {
 public:
  std::vector<std::string> steps;
};

class RecordingEngine final : public ServiceEngine {
 public:
  RecordingEngine(Recorder& r, FakeWindowSystem& w) : r_(r), w_(w) {}
  int EngineStart() override {
    r_.steps.push_back("start");
    return startResult;
  }
  int EngineStop() override {
    // Whoever waits for the close must find the window still there until the stop is done.
    r_.steps.push_back(w_.IsLive(kServiceWindowClass, kServiceWindowTitle) ? "stop (window up)"
                                                                           : "stop (window gone)");
    return 1;
  }
  int startResult = 1;

 private:
  Recorder& r_;
  FakeWindowSystem& w_;
};

class RecordingRegistration final : public ServiceProcessRegistration {
 public:
  explicit RecordingRegistration(Recorder& r) : r_(r) {}
  int RegisterServiceProcess(int type) override {
    r_.steps.push_back("register " + std::to_string(type));
    return 1;
  }

 private:
  Recorder& r_;
};

class ServiceFrameTest : public ::testing::Test {
 protected:
  Recorder recorder;
  FakeWindowSystem windows;
  RecordingEngine engine{recorder, windows};
  RecordingRegistration registration{recorder};
  std::vector<std::string> warnings;
  ServiceFrame frame{windows, engine, registration,
                     [this](std::string_view text) { warnings.emplace_back(text); }};

  bool Live() const { return windows.IsLive(kServiceWindowClass, kServiceWindowTitle); }
  std::optional<std::int64_t> SendToWindow(std::uint32_t message, std::int64_t lParam = 0) {
    auto handle = windows.FindWindow(kServiceWindowClass, kServiceWindowTitle);
    if (!handle) return std::nullopt;
    return windows.SendMessage(*handle, message, 0, lParam, -1);
  }
};

TEST_F(ServiceFrameTest, LaunchRegistersThenCreatesTheWindowWhoseCreationStartsTheEngine) {
  EXPECT_TRUE(frame.Launch());
  EXPECT_EQ(recorder.steps, (std::vector<std::string>{"register 1", "start"}));
  EXPECT_TRUE(Live());
  EXPECT_FALSE(frame.QuitPosted());
  EXPECT_TRUE(warnings.empty());
}

TEST_F(ServiceFrameTest, SecondCopyWarnsOnceAndLeavesTheRunningCopyAlone) {
  windows.Plant(kServiceWindowClass, kServiceWindowTitle);
  EXPECT_FALSE(frame.Launch());
  EXPECT_EQ(warnings, (std::vector<std::string>{std::string(kAlreadyRunningMessage)}));
  EXPECT_EQ(warnings[0], "TAMRIXsは既に起動されています");
  EXPECT_TRUE(recorder.steps.empty());  // neither registered nor started
  EXPECT_EQ(windows.creates, 0);
  EXPECT_EQ(frame.ExitCode(), 0);
}

TEST_F(ServiceFrameTest, LosingTheRaceForTheWindowIsTheSameAsFindingIt) {
  // The other copy creates its window after our look: creation fails, and then it is found.
  FakeWindowSystem racing;
  class LateForeign final : public WindowSystem {
   public:
    explicit LateForeign(FakeWindowSystem& inner) : inner_(inner) {}
    std::unique_ptr<Window> CreateWindow(std::string_view c, std::string_view t,
                                         WindowProcedure) override {
      inner_.Plant(c, t);
      return nullptr;
    }
    std::optional<WindowHandle> FindWindow(std::string_view c, std::string_view t) override {
      return inner_.FindWindow(c, t);
    }
    std::optional<std::int64_t> SendMessage(const WindowHandle&, std::uint32_t, std::uint64_t,
                                            std::int64_t, int) override {
      return std::nullopt;
    }

   private:
    FakeWindowSystem& inner_;
  } late(racing);
  ServiceFrame loser(late, engine, registration,
                     [this](std::string_view text) { warnings.emplace_back(text); });
  EXPECT_FALSE(loser.Launch());
  EXPECT_EQ(warnings.size(), 1u);
  EXPECT_EQ(recorder.steps, (std::vector<std::string>{"register 1"}));  // never started
}

TEST_F(ServiceFrameTest, WindowThatCannotBeCreatedEndsSilentlyWithoutStarting) {
  windows.failCreate = true;
  EXPECT_FALSE(frame.Launch());
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(recorder.steps, (std::vector<std::string>{"register 1"}));
  EXPECT_EQ(frame.ExitCode(), 0);
}

TEST_F(ServiceFrameTest, RefusedStartUndoesItselfAndLeavesNoWindow) {
  engine.startResult = 0;
  EXPECT_FALSE(frame.Launch());
  EXPECT_EQ(recorder.steps, (std::vector<std::string>{"register 1", "start", "stop (window up)"}));
  EXPECT_FALSE(Live());
  EXPECT_FALSE(windows.FindWindow(kServiceWindowClass, kServiceWindowTitle));
  EXPECT_TRUE(frame.QuitPosted());
  EXPECT_EQ(frame.ExitCode(), 0);
  EXPECT_TRUE(warnings.empty());
}

TEST_F(ServiceFrameTest, CloseStopsTheEngineBeforeTheWindowGoesAndEndsTheLoop) {
  ASSERT_TRUE(frame.Launch());
  EXPECT_EQ(SendToWindow(WM_CLOSE), 0);
  EXPECT_EQ(recorder.steps, (std::vector<std::string>{"register 1", "start", "stop (window up)"}));
  EXPECT_FALSE(Live());
  EXPECT_TRUE(frame.QuitPosted());
  EXPECT_EQ(frame.ExitCode(), 0);
}

TEST_F(ServiceFrameTest, SecondStopRequestDoesNotStopTheEngineAgain) {
  ASSERT_TRUE(frame.Launch());
  frame.WindowProcedure({WM_CLOSE, 0, 0});
  frame.EndSession(0);  // a shutdown that arrives while the close was being handled
  frame.WindowProcedure({WM_CLOSE, 0, 0});
  EXPECT_EQ(recorder.steps, (std::vector<std::string>{"register 1", "start", "stop (window up)"}));
}

TEST_F(ServiceFrameTest, EndSessionStopsOnlyForAShutdown) {
  struct Case {
    const char* name;
    std::uint64_t wParam;
    std::int64_t lParam;
    std::vector<std::string> after;  // steps after launch
    bool running;
  };
  const Case cases[] = {
      {"shutdown", 1, 0, {"register 0", "stop (window up)"}, false},
      {"shutdown, wParam ignored", 0, 0, {"register 0", "stop (window up)"}, false},
      {"log-off", 1, ENDSESSION_LOGOFF, {}, true},
      {"log-off, wParam ignored", 0, ENDSESSION_LOGOFF, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recorder r;
    FakeWindowSystem w;
    RecordingEngine e(r, w);
    RecordingRegistration reg(r);
    ServiceFrame f(w, e, reg, [](std::string_view) {});
    ASSERT_TRUE(f.Launch());
    r.steps.clear();
    EXPECT_EQ(f.WindowProcedure({WM_ENDSESSION, c.wParam, c.lParam}), 0);
    EXPECT_EQ(r.steps, c.after);
    EXPECT_EQ(w.IsLive(kServiceWindowClass, kServiceWindowTitle), c.running);
    EXPECT_EQ(f.QuitPosted(), !c.running);
  }
}

TEST_F(ServiceFrameTest, RestoreRequestsAndUnknownMessagesChangeNothing) {
  ASSERT_TRUE(frame.Launch());
  recorder.steps.clear();
  for (std::uint32_t message : {WM_QUERYOPEN, WM_SYSCOMMAND, 0x0400u, WM_DESTROY + 100}) {
    EXPECT_EQ(SendToWindow(message), 0) << message;
  }
  EXPECT_TRUE(recorder.steps.empty());
  EXPECT_TRUE(Live());
  EXPECT_FALSE(frame.QuitPosted());
}

}  // namespace
}  // namespace tamrix
