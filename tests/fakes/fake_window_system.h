#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/window.h"

namespace tamrix::testing {

// Windows in memory, of two kinds:
// - windows this process creates: a message sent to one runs its procedure at once;
// - windows of other programs, planted by a test: found by class and title, they answer WM_CLOSE
//   by going away at once, after they have been looked for a number of times more (a slow
//   owner), or never (an owner that ignores it).
// Calls are recorded as "FindWindow CLASS|TITLE" and "SendMessage CLASS|TITLE 16".
class FakeWindowSystem final : public WindowSystem {
 public:
  static constexpr int kNever = -1;

  struct Planted {
    int closeAfterFinds = 0;  // finds that still see it after WM_CLOSE; kNever: it stays
    bool closing = false;
    std::vector<std::uint32_t> received;
  };

  class FakeWindow final : public Window {
   public:
    FakeWindow(FakeWindowSystem& system, std::string key, WindowProcedure procedure)
        : system_(system), key_(std::move(key)), procedure_(std::move(procedure)) {}
    ~FakeWindow() override { Destroy(); }
    int MessageFd() const override { return -1; }
    int DispatchMessages(int) override { return destroyed_ ? -1 : 0; }
    void Destroy() override {
      if (destroyed_) return;
      destroyed_ = true;
      system_.live_.erase(key_);
    }
    bool IsDestroyed() const override { return destroyed_; }
    std::int64_t Call(const WindowMessage& m) { return procedure_(m); }

   private:
    FakeWindowSystem& system_;
    std::string key_;
    WindowProcedure procedure_;
    bool destroyed_ = false;
  };

  std::unique_ptr<Window> CreateWindow(std::string_view className, std::string_view title,
                                       WindowProcedure procedure) override {
    ++creates;
    const std::string key = Key(className, title);
    if (failCreate || live_.count(key) != 0 || windows.count(key) != 0) return nullptr;
    auto window = std::make_unique<FakeWindow>(*this, key, std::move(procedure));
    live_[key] = window.get();
    return window;
  }

  std::optional<WindowHandle> FindWindow(std::string_view className,
                                         std::string_view title) override {
    ++finds;
    const std::string key = Key(className, title);
    calls.push_back("FindWindow " + key);
    if (live_.count(key) != 0) return WindowHandle{key};
    const auto it = windows.find(key);
    if (it == windows.end()) return std::nullopt;
    Planted& window = it->second;
    if (window.closing && window.closeAfterFinds != kNever) {
      if (window.closeAfterFinds == 0) {
        windows.erase(it);
        return std::nullopt;
      }
      --window.closeAfterFinds;
    }
    return WindowHandle{key};
  }

  std::optional<std::int64_t> SendMessage(const WindowHandle& handle, std::uint32_t message,
                                          std::uint64_t wParam, std::int64_t lParam,
                                          int) override {
    calls.push_back("SendMessage " + handle.endpoint + " " + std::to_string(message));
    if (const auto own = live_.find(handle.endpoint); own != live_.end()) {
      return own->second->Call({message, wParam, lParam});
    }
    const auto it = windows.find(handle.endpoint);
    if (it == windows.end()) return std::nullopt;
    it->second.received.push_back(message);
    if (message == WM_CLOSE) {
      if (onClose.count(handle.endpoint) != 0) onClose[handle.endpoint]();
      it->second.closing = true;
    }
    return 0;
  }

  // A window of another program.
  void Plant(std::string_view className, std::string_view title, int closeAfterFinds = 0) {
    windows[Key(className, title)].closeAfterFinds = closeAfterFinds;
  }
  bool IsThere(std::string_view className, std::string_view title) const {
    return windows.count(Key(className, title)) != 0;
  }
  // A window of this process that has not been destroyed.
  bool IsLive(std::string_view className, std::string_view title) const {
    return live_.count(Key(className, title)) != 0;
  }
  static std::string Key(std::string_view className, std::string_view title) {
    return std::string(className) + "|" + std::string(title);
  }

  std::map<std::string, Planted> windows;
  // Runs when the planted window of that key receives WM_CLOSE (what its owner does meanwhile).
  std::map<std::string, std::function<void()>> onClose;
  std::vector<std::string> calls;
  bool failCreate = false;
  int creates = 0;
  int finds = 0;

 private:
  std::map<std::string, FakeWindow*> live_;
};

}  // namespace tamrix::testing
