#pragma once

#include <string>
#include <string_view>

namespace tamrix {

// Special folders a shortcut can be put in.
inline constexpr int CSIDL_PROGRAMS = 2;  // the user's menu of programs

// What a menu entry starts: a program, in a working directory, with a one-line description.
struct ShellLink {
  std::string path;
  std::string workingDirectory;
  std::string description;
};

// Menu entries of the desktop. A link is named by its folder and its display name; where the
// file lives and how it is spelt is the layer's business.
class Shortcuts {
 public:
  virtual ~Shortcuts() = default;
  // Creates the entry, replacing one of the same name; true when it was written.
  virtual bool Save(int folderId, std::string_view linkName, const ShellLink& link) = 0;
  // True when an entry was there and is gone.
  virtual bool Delete(int folderId, std::string_view linkName) = 0;
};

}  // namespace tamrix
