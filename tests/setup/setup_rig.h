#pragma once

#include <string>
#include <vector>

#include "setup/setup_environment.h"
#include "setup/setup_texts.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_file_operations.h"
#include "tests/fakes/fake_registry.h"
#include "tests/fakes/fake_service_manager.h"
#include "tests/fakes/fake_shortcuts.h"
#include "tests/fakes/fake_window_system.h"

namespace tamrix::testing {

// One progress position as the dialog showed it: the status text at that moment and what the
// procedure did to the machine since the position before.
struct Step {
  int position = 0;
  std::string text;
  std::vector<std::string> effects;

  bool operator==(const Step&) const = default;
};

inline void PrintTo(const Step& step, std::ostream* out) {
  *out << "{" << step.position << ", \"" << step.text << "\", {";
  for (const std::string& effect : step.effects) *out << "\"" << effect << "\", ";
  *out << "}}";
}

// A machine of fakes with a system directory "/sys" and a Windows directory "/win", and a
// journal that turns the progress dialog's positions into steps.
class SetupRig : public ProgressSink, public SetupMessages {
 public:
  static constexpr int kClosed = -1;  // the position of the step that ends at the dialog's close

  SetupRig() {
    files.directories = {"/sys", "/win"};
    for (const char* name :
         {"TAMXNTs.exe", "TAMRIXs.exe", "TAMRIX.exe", "TAMRIX.hlp", "TAMRIX.cnt", "TAMXEVT.dll"}) {
      files.files[name] = std::string("new ") + name;
    }
  }

  SetupEnvironment Environment(bool isWindows95) {
    return SetupEnvironment{files,
                            registry,
                            services,
                            windows,
                            shortcuts,
                            *this,
                            *this,
                            clock,
                            "/sys",
                            "/win",
                            isWindows95,
                            [this](const std::string& path) { started.push_back(path); },
                            [this](const std::string& program) {
                              sharedWithOperators.push_back(program);
                              return true;
                            }};
  }

  // Leaves what an earlier installation of the platform put on the machine.
  void PlantInstallation(bool isWindows95) {
    files.directories.insert("/sys/TAMRIX");
    for (const char* name : {"TAMRIX.exe", "TAMRIX.hlp", "TAMRIX.cnt", "TAMRIX.gid"}) {
      files.files[std::string("/sys/TAMRIX/") + name] = "old";
    }
    files.files[isWindows95 ? "/sys/TAMRIX/TAMRIXs.exe" : "/sys/TAMRIX/TAMXNTs.exe"] = "old";
    if (!isWindows95) files.files["/sys/TAMRIX/TAMXEVT.dll"] = "old";
    for (const char* name : {"TAMRIX.ini", "TAMRIX.db", "TAMRIX.db2"}) {
      files.files[std::string("/win/") + name] = std::string("data ") + name;
    }
    shortcuts.entries[{CSIDL_PROGRAMS, std::string(setup_text::kShortcutName)}] = ShellLink{};
    if (isWindows95) {
      registry.Put("HKEY_LOCAL_MACHINE\\" + std::string(setup_text::kRunServicesKey), "TAMRIXs",
                   REG_SZ, RegistryStringData("/sys/TAMRIX/TAMRIXs.exe"));
    } else {
      ServiceConfig config;
      config.name = "TAMXNTs";
      config.imagePath = "/sys/TAMRIX/TAMXNTs.exe";
      config.startType = SERVICE_AUTO_START;
      services.Install(config, SERVICE_STOPPED);
    }
  }

  void Open(std::string_view caption) override {
    captions.emplace_back(caption);
    text = setup_text::kProgressInitialText;
    ++opened;
  }
  void SetPosition(int position) override {
    steps.push_back({position, text, Collect()});
    positions.push_back(position);
  }
  void SetText(std::string_view newText) override { text = newText; }
  void Close() override {
    steps.push_back({kClosed, text, Collect()});
    ++closed;
  }
  void Show(std::string_view message, int icon) override {
    journal.push_back("Message " + std::string(message) + " " + std::to_string(icon));
    messages.emplace_back(message);
  }

  // Everything the fakes recorded since the last call, in a fixed order of fakes; handle
  // closes and status reads are left out, sleeps are summed.
  std::vector<std::string> Collect() {
    std::vector<std::string> effects;
    Take(windows.calls, effects);
    Take(services.calls, effects);
    Take(files.calls, effects);
    Take(registry.calls, effects);
    Take(shortcuts.calls, effects);
    int slept = 0;
    for (; sleepsSeen < clock.sleeps.size(); ++sleepsSeen) slept += clock.sleeps[sleepsSeen];
    if (slept > 0) effects.push_back("Sleep " + std::to_string(slept));
    Take(journal, effects);
    return effects;
  }

  bool HandlesClosed() { return services.handles.empty() && registry.OpenHandleCount() == 0; }

  FakeFileOperations files;
  FakeRegistry registry;
  FakeServiceManager services;
  FakeWindowSystem windows;
  FakeShortcuts shortcuts;
  FakeClock clock;

  std::vector<Step> steps;
  std::vector<int> positions;
  std::vector<std::string> captions;
  std::vector<std::string> messages;
  std::vector<std::string> started;
  std::vector<std::string> sharedWithOperators;  // the server programs handed to the operators
  std::string text;
  int opened = 0;
  int closed = 0;

 private:
  static void Take(std::vector<std::string>& calls, std::vector<std::string>& effects) {
    for (const std::string& call : calls) {
      if (call.rfind("Close", 0) == 0 || call.rfind("QueryServiceStatus", 0) == 0) continue;
      effects.push_back(call);
    }
    calls.clear();
  }

  std::vector<std::string> journal;
  std::size_t sleepsSeen = 0;
};

}  // namespace tamrix::testing
