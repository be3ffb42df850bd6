#include "setup/uninstall.h"

#include <span>
#include <string>

#include "platform/machine_paths.h"
#include "setup/install.h"
#include "setup/setup_routines.h"
#include "setup/setup_texts.h"
#include "storage/lease_store.h"

namespace tamrix {
namespace {

namespace text = setup_text;

struct DeletedFile {
  std::string_view name;
  int progressAfter;
  bool counts;  // whether a failure to delete it makes the result 0
};

constexpr DeletedFile kNtFiles[] = {
    {text::kNtServiceProgram, 45, true},
    {text::kPanelProgram, 50, true},
    {text::kHelpFile, 55, true},
    {text::kHelpContentsFile, 60, true},
    {"TAMRIX.gid", 65, false},
    {text::kMessageFile, 70, false},
};
constexpr DeletedFile k95Files[] = {
    {text::k95ServiceProgram, 45, true},
    {text::kPanelProgram, 50, true},
    {text::kHelpFile, 55, true},
    {text::kHelpContentsFile, 60, true},
    {"TAMRIX.gid", 65, false},
};

struct DataFile {
  std::string_view name;
  int progressAfterNt;
  int progressAfter95;
  // A file that goes with it: the lease journal with the lease database, and the settings file
  // as the control panel spells it ("TAMRIX.INI"), since letter case tells names apart here.
  std::string_view companion = {};
};

constexpr DataFile kDataFiles[] = {
    {"TAMRIX.db", 80, 75, kLeaseJournalFileName},
    {"TAMRIX.db2", 85, 80},
    {"TAMRIX.ini", 90, 85, "TAMRIX.INI"},
};

void DeleteShortcut(SetupEnvironment& env, ProgressScope& progress) {
  const std::string directory = InstallDirPath(env);
  progress.Position(0);
  progress.Text(text::kDeletingShortcut);
  SetProgramsShortcut(env, directory, text::kPanelProgram, text::kShortcutName, CSIDL_PROGRAMS,
                      false);
  progress.Position(10);
}

void ClosePanel(SetupEnvironment& env, ProgressScope& progress) {
  progress.Text(text::kUnregisteringService);
  CloseWindowAndWait(env, text::kPanelClass, text::kPanelTitle);
  progress.Position(20);
}

void DeleteProgramFiles(SetupEnvironment& env, ProgressScope& progress,
                        std::span<const DeletedFile> files, int* result) {
  progress.Text(text::kDeletingFiles);
  for (const DeletedFile& file : files) {
    if (!env.files.DeleteFile(InstalledFilePath(env, file.name)) && file.counts) *result = 0;
    progress.Position(file.progressAfter);
  }
}

void RemoveInstallDirectory(SetupEnvironment& env, ProgressScope& progress, int progressAfter,
                            int* result) {
  if (!env.files.RemoveDirectory(InstallDirPath(env))) *result = 0;
  progress.Position(progressAfter);
}

void DeleteDataFiles(SetupEnvironment& env, ProgressScope& progress) {
  for (const DataFile& file : kDataFiles) {
    env.files.DeleteFile(JoinPath(env.windowsDirectory, std::string(file.name)));
    if (!file.companion.empty()) {
      env.files.DeleteFile(JoinPath(env.windowsDirectory, std::string(file.companion)));
    }
    progress.Position(env.isWindows95 ? file.progressAfter95 : file.progressAfterNt);
  }
}

int Finish(SetupEnvironment& env, ProgressScope& progress, int result) {
  progress.Position(100);
  progress.Text(text::kDone);
  env.clock.SleepMilliseconds(500);
  return result;
}

}  // namespace

int UninstallNt(SetupEnvironment& env) {
  ProgressScope progress(env.progress, text::kUninstallCaption);
  int result = 1;
  DeleteShortcut(env, progress);
  ClosePanel(env, progress);
  SetNtService(env, {}, false);
  progress.Position(40);
  DeleteProgramFiles(env, progress, kNtFiles, &result);
  RemoveInstallDirectory(env, progress, 75, &result);
  DeleteDataFiles(env, progress);
  return Finish(env, progress, result);
}

int UninstallWin95(SetupEnvironment& env) {
  ProgressScope progress(env.progress, text::kUninstallCaption);
  int result = 1;
  DeleteShortcut(env, progress);
  ClosePanel(env, progress);
  // The service writes its lease database as it stops, before the data files go below.
  CloseWindowAndWait(env, text::k95ServiceClass, text::k95ServiceTitle);
  progress.Position(30);
  SetRunServicesValue(env, false);
  progress.Position(40);
  DeleteProgramFiles(env, progress, k95Files, &result);
  RemoveInstallDirectory(env, progress, 70, &result);
  DeleteDataFiles(env, progress);
  return Finish(env, progress, result);
}

namespace {

void DeleteMakerKeys(SetupEnvironment& env) {
  env.registry.DeleteKey(HKEY_LOCAL_MACHINE, text::kMakerKey);
  env.registry.DeleteKey(HKEY_LOCAL_MACHINE, text::kMakerParentKey);
}

bool NtServiceRegistered(SetupEnvironment& env) {
  return WithNtService(env, SC_MANAGER_CONNECT, [](ServiceHandle) {});
}

}  // namespace

int Uninstall(SetupEnvironment& env) {
  const int result = env.isWindows95 ? UninstallWin95(env) : UninstallNt(env);
  DeleteMakerKeys(env);
  return result;
}

int UnregisterInstallation(SetupEnvironment& env) {
  ProgressScope progress(env.progress, text::kUninstallCaption);
  int result = 1;
  ClosePanel(env, progress);
  // Both hosts, whichever the machine is set to: the programs are about to go, and neither kind
  // of server may be left running without them.
  // A service that does not stop in time is only marked for deletion and keeps its key.
  if (NtServiceRegistered(env)) SetNtService(env, {}, false);
  if (NtServiceRegistered(env)) result = 0;
  if (!CloseWindowAndWait(env, text::k95ServiceClass, text::k95ServiceTitle)) result = 0;
  SetRunServicesValue(env, false);
  DeleteMakerKeys(env);
  if (result == 0) env.messages.Show(text::kStopService, MB_ICONSTOP);
  return result;
}

}  // namespace tamrix
