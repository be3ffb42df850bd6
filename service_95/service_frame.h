#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "common/meeting_names.h"
#include "platform/window.h"

namespace tamrix {

// The window messages the service window answers besides WM_CLOSE.
inline constexpr std::uint32_t WM_CREATE = 1;
inline constexpr std::uint32_t WM_DESTROY = 2;
inline constexpr std::uint32_t WM_QUERYOPEN = 19;
inline constexpr std::uint32_t WM_ENDSESSION = 22;
// lParam bit of WM_ENDSESSION that says the user logs off (the machine keeps running).
inline constexpr std::int64_t ENDSESSION_LOGOFF = 0x80000000;

inline constexpr std::string_view kServiceWindowClass = meeting::k95WindowClass;
inline constexpr std::string_view kServiceWindowTitle = meeting::k95WindowTitle;
inline constexpr std::string_view kAlreadyRunningMessage = "TAMRIXsは既に起動されています";

// The two engine operations the frame calls, on its own thread only.
class ServiceEngine {
 public:
  virtual ~ServiceEngine() = default;
  virtual int EngineStart() = 0;  // nonzero when serving
  virtual int EngineStop() = 0;   // safe after a failed or partial start
};

// What the process does to outlive the user's session: type 1 registers it as a service process,
// type 0 takes that back. The result is informative only.
class ServiceProcessRegistration {
 public:
  virtual ~ServiceProcessRegistration() = default;
  virtual int RegisterServiceProcess(int type) = 0;
};

// The background-process host: one window of class kServiceWindowClass and title kServiceWindowTitle whose
// presence says the server runs, whose WM_CLOSE stops it, and whose creation starts the engine.
class ServiceFrame {
 public:
  using Warn = std::function<void(std::string_view)>;

  ServiceFrame(WindowSystem& windows, ServiceEngine& engine,
               ServiceProcessRegistration& registration, Warn warn);
  ~ServiceFrame();
  ServiceFrame(const ServiceFrame&) = delete;
  ServiceFrame& operator=(const ServiceFrame&) = delete;

  // Start-up up to the message loop. False when the program must end now: another copy runs
  // (AnotherCopyRuns(), which is no failure), the window could not be made, or the engine
  // refused to start.
  bool Launch();
  bool AnotherCopyRuns() const { return anotherCopyRuns_; }

  // The service window procedure; also what a shutdown notice is fed to.
  std::int64_t WindowProcedure(const WindowMessage& message);

  // The system is going down (or the user logs off, with ENDSESSION_LOGOFF in lParam).
  void EndSession(std::int64_t lParam) { WindowProcedure({WM_ENDSESSION, 1, lParam}); }

  // Set once the window is gone: the loop ends with this code.
  bool QuitPosted() const { return quitPosted_; }
  int ExitCode() const { return exitCode_; }
  Window* ServiceWindow() const { return window_.get(); }

 private:
  void Close();

  WindowSystem& windows_;
  ServiceEngine& engine_;
  ServiceProcessRegistration& registration_;
  Warn warn_;
  std::unique_ptr<Window> window_;
  bool quitPosted_ = false;
  int exitCode_ = 0;
  bool anotherCopyRuns_ = false;
};

}  // namespace tamrix
