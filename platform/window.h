#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tamrix {

// Window messages other programs send to a top-level window of ours.
inline constexpr std::uint32_t WM_CLOSE = 16;
inline constexpr std::uint32_t WM_SYSCOMMAND = 0x0112;
inline constexpr std::uint64_t SC_RESTORE = 0xF120;  // wParam of WM_SYSCOMMAND
// Brings the window to the front on behalf of another process (which may not do it itself).
inline constexpr std::uint32_t WM_TAMRIX_FOREGROUND = 0x8001;

struct WindowMessage {
  std::uint32_t message = 0;
  std::uint64_t wParam = 0;
  std::int64_t lParam = 0;
};

// Runs on the owner's thread, inside DispatchMessages; its answer goes back to the sender.
using WindowProcedure = std::function<std::int64_t(const WindowMessage&)>;

// A window found by class and title; valid as long as that window lives.
struct WindowHandle {
  std::string endpoint;
};

// A top-level window this process owns. Destroying the object destroys the window.
class Window {
 public:
  virtual ~Window() = default;
  // Readable when a message waits: lets an event loop the owner already runs take it in.
  virtual int MessageFd() const = 0;
  // Handles every waiting message, waiting up to timeoutMs (< 0: without limit) for the first.
  // Answers how many were handled; a destroyed window handles nothing and answers -1.
  virtual int DispatchMessages(int timeoutMs) = 0;
  // From now on the window cannot be found; safe to call from inside the procedure, whose
  // current message is still answered.
  virtual void Destroy() = 0;
  virtual bool IsDestroyed() const = 0;
};

// The window manager of this machine, as far as other programs reach our windows.
class WindowSystem {
 public:
  virtual ~WindowSystem() = default;
  // Null when it cannot be created, or while a window of the same class and title exists.
  virtual std::unique_ptr<Window> CreateWindow(std::string_view className, std::string_view title,
                                               WindowProcedure procedure) = 0;
  virtual std::optional<WindowHandle> FindWindow(std::string_view className,
                                                 std::string_view title) = 0;
  // Synchronous: the procedure's answer, once it has returned. Nothing when the window is gone
  // (or goes away before it answers, or the optional wait runs out).
  virtual std::optional<std::int64_t> SendMessage(const WindowHandle& window, std::uint32_t message,
                                                  std::uint64_t wParam = 0, std::int64_t lParam = 0,
                                                  int timeoutMs = -1) = 0;
};

}  // namespace tamrix
