#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/shortcut.h"

namespace tamrix::testing {

// Menu entries in memory, by folder and name; calls recorded as "SaveShortcut 2 NAME" and
// "DeleteShortcut 2 NAME".
class FakeShortcuts final : public Shortcuts {
 public:
  bool Save(int folderId, std::string_view linkName, const ShellLink& link) override {
    calls.push_back("SaveShortcut " + std::to_string(folderId) + " " + std::string(linkName));
    if (failSave) return false;
    entries[{folderId, std::string(linkName)}] = link;
    return true;
  }
  bool Delete(int folderId, std::string_view linkName) override {
    calls.push_back("DeleteShortcut " + std::to_string(folderId) + " " + std::string(linkName));
    return entries.erase({folderId, std::string(linkName)}) != 0;
  }

  std::map<std::pair<int, std::string>, ShellLink> entries;
  bool failSave = false;
  std::vector<std::string> calls;
};

}  // namespace tamrix::testing
