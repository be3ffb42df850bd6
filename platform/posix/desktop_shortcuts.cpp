#include "platform/posix/desktop_shortcuts.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "platform/posix/directories.h"
#include "platform/posix/posix_file_system.h"

namespace tamrix {

DesktopShortcuts::DesktopShortcuts(MachinePaths paths, std::string dataHome)
    : paths_(std::move(paths)), dataHome_(std::move(dataHome)) {}

std::optional<std::string> DesktopShortcuts::EntryPath(int folderId,
                                                       std::string_view linkName) const {
  if (folderId != CSIDL_PROGRAMS || dataHome_.empty() || linkName.empty() ||
      linkName.find('/') != std::string_view::npos) {
    return std::nullopt;
  }
  return paths_.root + JoinPath(dataHome_, "applications") + "/" + std::string(linkName) +
         ".desktop";
}

bool DesktopShortcuts::Save(int folderId, std::string_view linkName, const ShellLink& link) {
  const auto path = EntryPath(folderId, linkName);
  if (!path) return false;
  // The applications folder is not there until something puts an entry in it.
  if (!MakeDirectories(path->substr(0, path->rfind('/')))) return false;
  PosixFileSystem files;
  return files.ReplaceFile(*path, DesktopEntryText(linkName, link));
}

bool DesktopShortcuts::Delete(int folderId, std::string_view linkName) {
  const auto path = EntryPath(folderId, linkName);
  return path && ::unlink(path->c_str()) == 0;
}

std::string UserDataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return JoinPath(home, ".local/share");
  return {};
}

std::string DesktopStringValue(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string DesktopExecArgument(std::string_view path) {
  // A field code starts with "%": a literal one is doubled, quoted or not.
  constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  bool quote = false;
  std::string argument;
  for (const char c : path) {
    if (kReserved.find(c) != std::string_view::npos) quote = true;
    if (c == '%') {
      argument += "%%";
      continue;
    }
    if (c == '"' || c == '`' || c == '$' || c == '\\') argument += '\\';
    argument += c;
  }
  if (quote) argument = "\"" + argument + "\"";
  return DesktopStringValue(argument);
}

std::string DesktopEntryText(std::string_view name, const ShellLink& link) {
  std::string text = "[Desktop Entry]\nType=Application\n";
  text += "Name=" + DesktopStringValue(name) + "\n";
  text += "Comment=" + DesktopStringValue(link.description) + "\n";
  text += "Exec=" + DesktopExecArgument(link.path) + "\n";
  text += "Path=" + DesktopStringValue(link.workingDirectory) + "\n";
  text += "Terminal=false\n";
  return text;
}

}  // namespace tamrix
