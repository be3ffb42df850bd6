#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/window.h"

namespace tamrix::testing {

// Windows in memory: a message sent to one of ours runs its procedure at once; a window "of
// another process" can be planted so that it is found but never created here.
class FakeWindowSystem final : public WindowSystem {
 public:
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
    if (failCreate || live_.count(key) != 0 || foreign.count(key) != 0) return nullptr;
    auto window = std::make_unique<FakeWindow>(*this, key, std::move(procedure));
    live_[key] = window.get();
    return window;
  }
  std::optional<WindowHandle> FindWindow(std::string_view className,
                                         std::string_view title) override {
    ++finds;
    const std::string key = Key(className, title);
    if (live_.count(key) != 0 || foreign.count(key) != 0) return WindowHandle{key};
    return std::nullopt;
  }
  std::optional<std::int64_t> SendMessage(const WindowHandle& window, std::uint32_t message,
                                          std::uint64_t wParam, std::int64_t lParam, int) override {
    const auto it = live_.find(window.endpoint);
    if (it == live_.end()) return std::nullopt;
    return it->second->Call({message, wParam, lParam});
  }

  static std::string Key(std::string_view className, std::string_view title) {
    return std::string(className) + "|" + std::string(title);
  }
  bool IsLive(std::string_view className, std::string_view title) const {
    return live_.count(Key(className, title)) != 0;
  }

  std::map<std::string, bool> foreign;  // windows owned by another process
  bool failCreate = false;
  int creates = 0;
  int finds = 0;

 private:
  std::map<std::string, FakeWindow*> live_;
};

}  // namespace tamrix::testing
