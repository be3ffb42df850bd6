#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/file_operations.h"
#include "platform/registry.h"
#include "platform/service_manager.h"
#include "platform/shortcut.h"
#include "platform/window.h"

namespace tamrix {

// Icons of setup's message boxes.
inline constexpr int MB_ICONSTOP = 0x10;
inline constexpr int MB_ICONEXCLAMATION = 0x30;
inline constexpr int MB_ICONINFORMATION = 0x40;

// The progress dialog an operation shows while it runs.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void Open(std::string_view caption) = 0;
  virtual void SetPosition(int position) = 0;  // 0 to 100
  virtual void SetText(std::string_view text) = 0;
  virtual void Close() = 0;
};

// Message boxes with an OK button; each returns when the operator has dismissed it.
class SetupMessages {
 public:
  virtual ~SetupMessages() = default;
  virtual void Show(std::string_view text, int icon) = 0;
};

// Everything setup's procedures reach the machine through.
struct SetupEnvironment {
  FileOperations& files;
  Registry& registry;
  ServiceManager& services;
  WindowSystem& windows;
  Shortcuts& shortcuts;
  ProgressSink& progress;
  SetupMessages& messages;
  Clock& clock;
  std::string systemDirectory;
  std::string windowsDirectory;
  bool isWindows95 = false;
  // Starts a program by its full path, without waiting for it; the result is not examined.
  std::function<void(const std::string& path)> startProgram;
  // Hands the machine to its operators: creates the operator group when missing, gives it the
  // data folder and lets the installed server program serve when an operator starts it. False
  // when any of it failed (the installation still stands; root can operate it).
  std::function<bool(const std::string& serverProgram)> shareWithOperators;
};

}  // namespace tamrix
