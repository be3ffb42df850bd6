#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <functional>
#include <memory>
#include <string_view>

#include "setup/setup_environment.h"

class QLabel;
class QProgressBar;
class QWidget;

namespace tamrix {

inline QString SetupQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The program's icon (resource 128 of the system), 16 and 32 pixels.
QIcon SetupIcon();

// The main dialog: Install (1000), Uninstall (1001) and Close (2). Controls carry their ids as
// object names. The version item (command 16) sits in the dialog's context menu, the nearest a
// Qt window comes to a system menu of its own, and behind the icon button right of the footer.
class SetupDialog final : public QDialog {
 public:
  SetupDialog(std::function<void()> install, std::function<void()> uninstall,
              QWidget* parent = nullptr);
  void ShowAbout();
};

// "ﾊﾞｰｼﾞｮﾝ情報 Setup": icon, version text and OK (1).
class SetupAboutBox final : public QDialog {
 public:
  explicit SetupAboutBox(QWidget* parent = nullptr);
};

// The modeless progress dialog (130): status text 1003 and bar 1002 (0-100), no close button.
class ProgressDialog final : public QDialog {
 public:
  explicit ProgressDialog(QWidget* parent = nullptr);
  void SetPosition(int position);
  void SetText(std::string_view text);

 private:
  QLabel* text_;
  QProgressBar* bar_;
};

// Shows a procedure's progress on screen; the dialog lives from Open to Close.
class QtProgressSink final : public ProgressSink {
 public:
  explicit QtProgressSink(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void Open(std::string_view caption) override;
  void SetPosition(int position) override;
  void SetText(std::string_view text) override;
  void Close() override;
  ProgressDialog* dialog() const { return dialog_.get(); }

 private:
  QWidget* parent_;
  std::unique_ptr<ProgressDialog> dialog_;
};

// Message boxes captioned with the program's name, "setup".
class QtSetupMessages final : public SetupMessages {
 public:
  explicit QtSetupMessages(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void Show(std::string_view text, int icon) override;

 private:
  QWidget* parent_;
};

}  // namespace tamrix
