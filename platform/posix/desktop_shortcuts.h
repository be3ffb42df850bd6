#pragma once

#include <optional>
#include <string>

#include "platform/machine_paths.h"
#include "platform/shortcut.h"

namespace tamrix {

// Menu entries as freedesktop desktop entries "<name>.desktop" in the user's applications
// folder: $XDG_DATA_HOME/applications, or ~/.local/share/applications. Under a machine root of
// its own (a test's) that folder lies below the root, so nothing outside it is touched.
class DesktopShortcuts final : public Shortcuts {
 public:
  // dataHome: the user's data folder (see UserDataHome).
  DesktopShortcuts(MachinePaths paths, std::string dataHome);

  bool Save(int folderId, std::string_view linkName, const ShellLink& link) override;
  bool Delete(int folderId, std::string_view linkName) override;

  // The file an entry of that folder and name lives in; nothing for an unknown folder.
  std::optional<std::string> EntryPath(int folderId, std::string_view linkName) const;

 private:
  MachinePaths paths_;
  std::string dataHome_;
};

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share; empty when neither is set.
std::string UserDataHome();

// The text of a desktop entry that starts link.path in link.workingDirectory.
std::string DesktopEntryText(std::string_view name, const ShellLink& link);
// A program path as one argument of an Exec key: quoted when it needs to be, with the
// characters the quoting reserves escaped, and with the escapes of a string value applied.
std::string DesktopExecArgument(std::string_view path);
// A string value: backslash and the control characters that would end or bend the line escaped.
std::string DesktopStringValue(std::string_view text);

}  // namespace tamrix
