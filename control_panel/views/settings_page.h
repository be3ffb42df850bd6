#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "control_panel/message_boxes.h"
#include "control_panel/panel_settings.h"

namespace tamrix {

class FileSystem;
class HostLookup;

// What the pages of one sheet share.
struct SheetContext {
  PanelSettings& settings;
  PrivateProfile& profile;
  FileSystem& files;
  HostLookup& hosts;
  MessageBoxes& boxes;
  std::string windowsDirectory;
  std::function<void()> markModified = [] {};
};

// One tab of the sheet: its widgets show a page's rules and values.
class SettingsPage : public QWidget {
 public:
  SettingsPage(SheetContext& context, const char* dialogId);
  // Run when the page is left, by a tab change, OK or apply.
  virtual PageCheck Validate() { return PageCheck::Pass(); }
  // Copies the page's values into the settings and writes what the page owns.
  virtual void Apply() = 0;
  // Run each time the page becomes the current tab.
  virtual void Activated() {}

 protected:
  void Modified() { context_.markModified(); }
  SheetContext& context_;
};

}  // namespace tamrix
