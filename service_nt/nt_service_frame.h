#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "common/meeting_names.h"
#include "platform/clock.h"
#include "platform/service_manager.h"

namespace tamrix {

inline constexpr const char* kNtServiceName = meeting::kNtServiceName;
inline constexpr const char* kNtServiceDisplayName = meeting::kNtServiceDisplayName;
// The own-path buffer holds this many characters, its terminating NUL included.
inline constexpr std::size_t kModulePathCapacity = 512;

// The engine's four operations as the service frame calls them, plus the code a failed start
// leaves behind for the STOPPED report.
class NtServiceEngine {
 public:
  virtual ~NtServiceEngine() = default;
  virtual int EngineStart() = 0;  // 1 running, 0 failed (and undone)
  virtual int EngineStop() = 0;
  virtual int EnginePause() = 0;
  virtual int EngineContinue() = 0;
  virtual int LastErrorCode() const = 0;  // never 0 after a failed start
};

// What the frame needs of the machine. modulePath gives 0 and the program's own full path, or an
// error code; out writes to standard output.
struct NtFrameEnvironment {
  ServiceManager& manager;
  ServiceHost& host;
  NtServiceEngine& engine;
  Clock& clock;
  std::function<int(std::string* path)> modulePath;
  std::function<void(std::string_view text)> out;
};

// A manual-reset event: once set it stays set, and every wait returns at once.
class ManualResetEvent {
 public:
  void Set();
  void Wait();
  bool IsSet();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool set_ = false;
};

// The NT service program: the command-line switches, the service's entry point and the mapping
// of the manager's controls onto the engine.
class NtServiceFrame {
 public:
  explicit NtServiceFrame(NtFrameEnvironment environment);

  // The whole program: a switch installs or removes the service, anything else hands the
  // process to the dispatcher. Gives the process exit code.
  int Main(int argc, char** argv);
  // True when the arguments hold one of the two switches (Main then installs or removes).
  static bool IsCommandSwitch(int argc, char** argv);
  // 1 creates the service, 0 removes it. Gives 0, or the code of the call that failed.
  int InstallService(int install);
  void ServiceMain(int argc, char** argv);
  void ServiceCtrlHandler(std::uint32_t control);
  // Sends the status; when it cannot be sent the service is stopped. Gives SetServiceStatus's
  // result.
  int ReportStatus(std::uint32_t state, std::uint32_t win32ExitCode,
                   std::uint32_t serviceSpecificExitCode, std::uint32_t checkPoint,
                   std::uint32_t waitHint);

  // The process is being terminated: a running service stops as on the shutdown control; a start
  // under way ends as soon as the engine has come up.
  void RequestShutdown();

  bool Running() const { return running_.load(); }
  bool Paused() const { return paused_.load(); }

 private:
  void PrintError(int code, std::string_view call);
  int Install();
  int Remove(ServiceHandle manager, ServiceHandle* service);
  void StopTheEngine();
  std::uint32_t CurrentState() const;
  void ReportCurrentState();

  NtFrameEnvironment env_;
  std::atomic<ServiceStatusHandle> statusHandle_{0};
  ManualResetEvent stopEvent_;
  std::atomic<bool> running_{false};
  std::atomic<bool> paused_{false};
  // Held by the handler for a whole control, and by ServiceMain for its last report, so the
  // STOPPED report always comes after everything a control reported.
  std::mutex controlMutex_;
};

}  // namespace tamrix
