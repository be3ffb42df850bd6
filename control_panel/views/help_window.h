#pragma once

#include <QPointer>
#include <QString>

#include "control_panel/help_viewer.h"

class QTextBrowser;
class QWidget;

namespace tamrix {

class MessageBoxes;

// The help in a window of the program's own, which goes when its owner (the main window) is
// destroyed, or with the viewer. Where the program cannot read the file the desktop's browser
// gets a try; where there is no file at all, a message says so.
class HelpWindowViewer final : public HelpViewer {
 public:
  explicit HelpWindowViewer(MessageBoxes& boxes, QWidget* owner = nullptr)
      : boxes_(boxes), owner_(owner) {}
  ~HelpWindowViewer() override;
  void setOwner(QWidget* owner) { owner_ = owner; }
  void ShowHelp(const std::string& path) override;

  // The open help window, or null.
  QTextBrowser* window() const;

 private:
  bool OpenWindow(const QString& file);

  MessageBoxes& boxes_;
  QWidget* owner_;
  QPointer<QTextBrowser> window_;
};

}  // namespace tamrix
