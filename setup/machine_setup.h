#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/machine_paths.h"
#include "platform/posix/desktop_shortcuts.h"
#include "platform/posix/file_registry.h"
#include "platform/posix/posix_file_operations.h"
#include "platform/posix/posix_service_manager.h"
#include "platform/posix/posix_window_system.h"
#include "platform/posix/system_clock.h"
#include "setup/setup_environment.h"

namespace tamrix {

// This machine (or the one below TAMRIX_SYSROOT) as setup's procedures reach it.
class MachineSetup {
 public:
  MachineSetup();
  MachineSetup(const MachineSetup&) = delete;
  MachineSetup& operator=(const MachineSetup&) = delete;

  // startProgram may be empty: nothing is started after an installation then.
  SetupEnvironment Environment(ProgressSink& progress, SetupMessages& messages,
                               std::function<void(const std::string&)> startProgram);

  const MachinePaths& paths() const { return paths_; }

 private:
  MachinePaths paths_;
  PosixFileOperations files_;
  FileRegistry registry_;
  PosixServiceManager services_;
  PosixWindowSystem windows_;
  DesktopShortcuts shortcuts_;
  SystemClock clock_;
};

// Feedback for the procedures run without a display: no progress, messages on standard error.
class SilentProgress final : public ProgressSink {
 public:
  void Open(std::string_view) override {}
  void SetPosition(int) override {}
  void SetText(std::string_view) override {}
  void Close() override {}
};

class StderrMessages final : public SetupMessages {
 public:
  explicit StderrMessages(std::string_view program) : program_(program) {}
  void Show(std::string_view text, int icon) override;

 private:
  std::string program_;
};

}  // namespace tamrix
