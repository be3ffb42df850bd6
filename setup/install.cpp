#include "setup/install.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "setup/setup_routines.h"
#include "setup/setup_texts.h"

namespace tamrix {
namespace {

namespace text = setup_text;

struct CopiedFile {
  std::string_view name;
  int progressAfter;
};

constexpr CopiedFile kNtFiles[] = {
    {text::kNtServiceProgram, 25},
    {text::kPanelProgram, 35},
    {text::kHelpFile, 50},
    {text::kHelpContentsFile, 55},
    {text::kMessageFile, 60},
};
constexpr CopiedFile k95Files[] = {
    {text::k95ServiceProgram, 30},
    {text::kPanelProgram, 40},
    {text::kHelpFile, 55},
    {text::kHelpContentsFile, 60},
};

// Copies the files in order from the current directory; on the first failure shows that file's
// message and answers false.
bool CopyFiles(SetupEnvironment& env, ProgressScope& progress, std::span<const CopiedFile> files) {
  for (const CopiedFile& file : files) {
    const std::string name(file.name);
    if (!env.files.CopyFile(name, InstalledFilePath(env, name))) {
      env.messages.Show(name + std::string(text::kCopyFailedSuffix), MB_ICONSTOP);
      return false;
    }
    progress.Position(file.progressAfter);
  }
  return true;
}

void CreateInstallDirectory(SetupEnvironment& env, ProgressScope& progress) {
  const std::string directory = InstallDirPath(env);
  progress.Position(0);
  progress.Text(text::kCreatingDirectory);
  env.files.CreateDirectory(directory);  // an existing one is what an update expects
  progress.Position(5);
}

bool ClosePanel(SetupEnvironment& env, ProgressScope& progress) {
  progress.Text(text::kRemovingOldVersion);
  if (!CloseWindowAndWait(env, text::kPanelClass, text::kPanelTitle)) {
    env.messages.Show(text::kClosePanel, MB_ICONSTOP);
    return false;
  }
  progress.Position(10);
  return true;
}

// Silent on failure: the service then keeps the demand start it was registered with.
void SetStartType(SetupEnvironment& env, std::uint32_t startType) {
  WithNtService(env, SC_MANAGER_CREATE_SERVICE, [&](ServiceHandle service) {
    env.services.ChangeServiceConfig(service, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE,
                                     nullptr, nullptr);
  });
}

// The start-up type the operator chose for a registered service; nothing when none is registered.
std::optional<std::uint32_t> RegisteredStartType(SetupEnvironment& env) {
  std::optional<std::uint32_t> startType;
  WithNtService(env, SC_MANAGER_CONNECT, [&](ServiceHandle service) {
    ServiceConfig config;
    if (env.services.QueryServiceConfig(service, &config) == ERROR_SUCCESS) {
      startType = config.startType;
    }
  });
  return startType;
}

// Everything the NT installation does once the files lie in the installation directory.
bool RegisterNtFiles(SetupEnvironment& env, ProgressScope& progress, std::uint32_t startType) {
  if (env.shareWithOperators)
    env.shareWithOperators(InstalledFilePath(env, text::kNtServiceProgram));
  progress.Position(75);
  progress.Text(text::kRegisteringService);
  if (!SetNtService(env, InstalledFilePath(env, text::kNtServiceProgram), true)) {
    env.messages.Show(text::kServiceRegistrationFailed, MB_ICONSTOP);
    return false;
  }
  progress.Position(80);
  progress.Text(text::kRegisteringEventLog);
  if (!RegisterEventLogSource(env)) {
    env.messages.Show(text::kEventLogRegistrationFailed, MB_ICONSTOP);
    return false;
  }
  progress.Position(85);
  SetStartType(env, startType);
  progress.Position(90);
  return true;
}

bool Stop95Service(SetupEnvironment& env) {
  if (CloseWindowAndWait(env, text::k95ServiceClass, text::k95ServiceTitle)) return true;
  env.messages.Show(text::kStopService, MB_ICONSTOP);
  return false;
}

}  // namespace

// A missing key is created lasting: made volatile, it would take the boot-time start of the
// service away with the next boot, the very start it is there for.
void SetRunServicesValue(SetupEnvironment& env, bool present) {
  ScopedRegistryKey key(env.registry);
  if (env.registry.CreateKey(HKEY_LOCAL_MACHINE, text::kRunServicesKey, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, key.out()) != ERROR_SUCCESS) {
    return;
  }
  if (present) {
    env.registry.SetValue(key.get(), text::k95RunServicesValue, REG_SZ,
                          RegistryStringData(InstalledFilePath(env, text::k95ServiceProgram)));
  } else {
    env.registry.DeleteValue(key.get(), text::k95RunServicesValue);
  }
}

bool RunServicesValuePresent(SetupEnvironment& env) {
  ScopedRegistryKey key(env.registry);
  RegistryValue value;
  return env.registry.OpenKey(HKEY_LOCAL_MACHINE, text::kRunServicesKey, KEY_READ, key.out()) ==
             ERROR_SUCCESS &&
         env.registry.QueryValue(key.get(), text::k95RunServicesValue, &value) == ERROR_SUCCESS;
}

namespace {

void CreateShortcut(SetupEnvironment& env, ProgressScope& progress) {
  progress.Text(text::kCreatingShortcut);
  SetProgramsShortcut(env, InstallDirPath(env), text::kPanelProgram, text::kShortcutName,
                      CSIDL_PROGRAMS, true);
  progress.Position(100);
}

int Finish(SetupEnvironment& env, ProgressScope& progress) {
  progress.Text(text::kDone);
  env.clock.SleepMilliseconds(500);
  return 1;
}

void LeaveMakerKey(SetupEnvironment& env) {
  ScopedRegistryKey maker(env.registry);
  env.registry.CreateKey(HKEY_LOCAL_MACHINE, text::kMakerKey, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                         maker.out());
}

}  // namespace

int InstallNt(SetupEnvironment& env) {
  ProgressScope progress(env.progress, text::kInstallCaption);
  CreateInstallDirectory(env, progress);
  if (!ClosePanel(env, progress)) return 0;
  SetNtService(env, {}, false);  // an earlier installation's service; none is fine too
  progress.Position(15);
  progress.Text(text::kCopyingFiles);
  if (!CopyFiles(env, progress, kNtFiles)) return 0;
  if (!RegisterNtFiles(env, progress, SERVICE_AUTO_START)) return 0;
  CreateShortcut(env, progress);
  return Finish(env, progress);
}

int InstallWin95(SetupEnvironment& env) {
  ProgressScope progress(env.progress, text::kInstallCaption);
  CreateInstallDirectory(env, progress);
  if (!ClosePanel(env, progress)) return 0;
  if (!Stop95Service(env)) return 0;
  progress.Position(15);
  SetRunServicesValue(env, false);
  progress.Position(20);
  progress.Text(text::kCopyingFiles);
  if (!CopyFiles(env, progress, k95Files)) return 0;
  if (env.shareWithOperators)
    env.shareWithOperators(InstalledFilePath(env, text::k95ServiceProgram));
  progress.Position(80);
  progress.Text(text::kRegisteringService);
  SetRunServicesValue(env, true);
  progress.Position(90);
  CreateShortcut(env, progress);
  return Finish(env, progress);
}

int Install(SetupEnvironment& env) {
  const int result = env.isWindows95 ? InstallWin95(env) : InstallNt(env);
  if (result == 1) LeaveMakerKey(env);
  return result;
}

int RegisterInstalledFiles(SetupEnvironment& env, bool keepStartType) {
  ProgressScope progress(env.progress, text::kInstallCaption);
  if (!ClosePanel(env, progress)) return 0;
  if (env.isWindows95) {
    if (!Stop95Service(env)) return 0;
    const bool automatic = !keepStartType || RunServicesValuePresent(env);
    SetRunServicesValue(env, false);
    if (env.shareWithOperators)
      env.shareWithOperators(InstalledFilePath(env, text::k95ServiceProgram));
    SetRunServicesValue(env, automatic);
  } else {
    const std::uint32_t startType =
        keepStartType ? RegisteredStartType(env).value_or(SERVICE_AUTO_START) : SERVICE_AUTO_START;
    SetNtService(env, {}, false);
    if (!RegisterNtFiles(env, progress, startType)) return 0;
  }
  LeaveMakerKey(env);
  return 1;
}

}  // namespace tamrix
