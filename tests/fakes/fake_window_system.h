#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/window.h"

namespace tamrix::testing {

// Top-level windows of other programs, planted by a test. A planted window answers WM_CLOSE by
// going away at once, after it has been looked for a number of times more (a slow owner), or
// never (an owner that ignores it). Calls are recorded as "FindWindow CLASS|TITLE" and
// "SendMessage CLASS|TITLE 16". Windows of this process cannot be created here.
class FakeWindowSystem final : public WindowSystem {
 public:
  static constexpr int kNever = -1;

  struct Planted {
    int closeAfterFinds = 0;  // finds that still see it after WM_CLOSE; kNever: it stays
    bool closing = false;
    std::vector<std::uint32_t> received;
  };

  std::unique_ptr<Window> CreateWindow(std::string_view, std::string_view,
                                       WindowProcedure) override {
    return nullptr;
  }
  std::optional<WindowHandle> FindWindow(std::string_view className,
                                         std::string_view title) override {
    const std::string key = Key(className, title);
    calls.push_back("FindWindow " + key);
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
                                          std::uint64_t, std::int64_t, int) override {
    calls.push_back("SendMessage " + handle.endpoint + " " + std::to_string(message));
    const auto it = windows.find(handle.endpoint);
    if (it == windows.end()) return std::nullopt;
    it->second.received.push_back(message);
    if (message == WM_CLOSE) {
      if (onClose.count(handle.endpoint) != 0) onClose[handle.endpoint]();
      it->second.closing = true;
    }
    return 0;
  }

  void Plant(std::string_view className, std::string_view title, int closeAfterFinds = 0) {
    windows[Key(className, title)].closeAfterFinds = closeAfterFinds;
  }
  bool IsThere(std::string_view className, std::string_view title) const {
    return windows.count(Key(className, title)) != 0;
  }
  static std::string Key(std::string_view className, std::string_view title) {
    return std::string(className) + "|" + std::string(title);
  }

  std::map<std::string, Planted> windows;
  // Runs when the window of that key receives WM_CLOSE (what its owner does while stopping).
  std::map<std::string, std::function<void()>> onClose;
  std::vector<std::string> calls;
};

}  // namespace tamrix::testing
