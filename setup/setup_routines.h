#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "setup/setup_environment.h"

namespace tamrix {

// The installation directory: the system directory, a separator unless it already ends in one,
// then "TAMRIX". Every installed file lies directly in it.
std::string InstallDirPath(const SetupEnvironment& env);
// The installation directory followed by "/" and name.
std::string InstalledFilePath(const SetupEnvironment& env, std::string_view name);

// Asks a window of another program to close and waits for it to go: 1 when no such window is
// left, 0 when it is still there after about six seconds.
int CloseWindowAndWait(SetupEnvironment& env, std::string_view className, std::string_view title);

// create: registers the NT service for demand start with programPath; 1 when it was created.
// Otherwise stops the registered service if it runs and deletes it; 1 when it was deleted.
int SetNtService(SetupEnvironment& env, const std::string& programPath, bool create);

// Opens the manager with managerAccess and the NT service, hands the service to use and closes
// both; false, without calling use, when either could not be opened.
bool WithNtService(SetupEnvironment& env, std::uint32_t managerAccess,
                   const std::function<void(ServiceHandle service)>& use);
// Writes the NT event-log source's message file and supported types; 1 on success.
int RegisterEventLogSource(SetupEnvironment& env);

// Creates (or, with create clear, deletes) the menu entry linkName in the folder folderId that
// starts directory/target in directory. Reports no failure.
void SetProgramsShortcut(SetupEnvironment& env, const std::string& directory,
                         std::string_view target, std::string_view linkName, int folderId,
                         bool create);

// Opens the progress dialog with a caption and closes it again on every way out of a procedure.
class ProgressScope {
 public:
  ProgressScope(ProgressSink& sink, std::string_view caption);
  ~ProgressScope();
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;
  void Position(int position) { sink_.SetPosition(position); }
  void Text(std::string_view text) { sink_.SetText(text); }

 private:
  ProgressSink& sink_;
};

}  // namespace tamrix
