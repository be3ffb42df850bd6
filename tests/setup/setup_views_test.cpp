#include "setup/views/setup_views.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "setup/setup_handlers.h"
#include "setup/views/control_ids.h"
#include "tests/setup/setup_rig.h"

namespace tamrix::testing {
namespace {

namespace text = setup_text;

std::string Std(const QString& s) {
  return s.toUtf8().toStdString();
}

template <typename T>
T* Find(QWidget* root, const char* name) {
  return root->findChild<T*>(QString::fromLatin1(name));
}
template <typename T>
T* Find(QWidget* root, int id) {
  return root->findChild<T*>(QString::number(id));
}

// Top-level widgets still around: a dialog a procedure forgot to destroy shows up here.
int TopLevelDialogs() {
  int count = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (qobject_cast<QDialog*>(widget) != nullptr) ++count;
  }
  return count;
}

TEST(SetupDialogTest, ShowsItsTextsAndRunsTheButtons) {
  int installs = 0;
  int uninstalls = 0;
  bool enabledWhileRunning = true;
  QPushButton* other = nullptr;
  SetupDialog dialog(
      [&] {
        ++installs;
        enabledWhileRunning = other->isEnabled();
      },
      [&] { ++uninstalls; });
  other = Find<QPushButton>(&dialog, IDC_UNINSTALL);
  EXPECT_EQ(Std(dialog.windowTitle()), text::kDialogTitle);
  const std::pair<int, std::string_view> buttons[] = {{IDC_INSTALL, text::kInstallButton},
                                                      {IDC_UNINSTALL, text::kUninstallButton},
                                                      {IDCANCEL, text::kCloseButton}};
  for (const auto& [id, label] : buttons) {
    auto* button = Find<QPushButton>(&dialog, id);
    ASSERT_NE(button, nullptr) << id;
    EXPECT_EQ(Std(button->text()), label);
  }
  EXPECT_TRUE(Find<QPushButton>(&dialog, IDCANCEL)->isDefault());
  auto* about = dialog.findChild<QAction*>(QString::number(IDM_ABOUTBOX));
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(Std(about->text()), text::kString101);

  dialog.show();
  Find<QPushButton>(&dialog, IDC_INSTALL)->click();
  Find<QPushButton>(&dialog, IDC_UNINSTALL)->click();
  Find<QPushButton>(&dialog, IDC_UNINSTALL)->click();
  EXPECT_EQ(installs, 1);
  EXPECT_EQ(uninstalls, 2);
  EXPECT_FALSE(enabledWhileRunning);
  EXPECT_TRUE(other->isEnabled());  // given back afterwards
  Find<QPushButton>(&dialog, IDCANCEL)->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_FALSE(dialog.isVisible());
}

// The window manager's menu is out of reach: the version entry must also be behind a button in
// sight, and the window must carry the program's icon, loaded from the resources.
TEST(SetupDialogTest, VersionEntryBehindTheIconButton) {
  SetupDialog dialog({}, {});
  dialog.show();
  EXPECT_FALSE(dialog.windowIcon().pixmap(32).isNull());
  auto* button = Find<QToolButton>(&dialog, "menu");
  ASSERT_NE(button, nullptr);
  EXPECT_TRUE(button->isVisible());
  auto* about = dialog.findChild<QAction*>(QString::number(IDM_ABOUTBOX));
  ASSERT_TRUE(button->menu() != nullptr && button->menu()->actions().contains(about));
  std::string shown;
  QTimer::singleShot(0, [&] {
    if (auto* box = dynamic_cast<SetupAboutBox*>(QApplication::activeModalWidget())) {
      shown = Std(box->windowTitle());
      box->accept();
    }
  });
  about->trigger();
  EXPECT_EQ(shown, text::kAboutTitle);
}

TEST(SetupDialogTest, AboutBoxNamesTheVersion) {
  SetupAboutBox box;
  EXPECT_EQ(Std(box.windowTitle()), text::kAboutTitle);
  auto* version = Find<QLabel>(&box, "version");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(Std(version->text()), "TAMRIX Setup Version 1.2.1");
  ASSERT_NE(Find<QPushButton>(&box, IDOK), nullptr);
}

// Records each message with what the progress dialog showed at that moment.
class ProgressWatchingMessages final : public SetupMessages {
 public:
  explicit ProgressWatchingMessages(QtProgressSink& progress) : progress_(progress) {}
  void Show(std::string_view message, int) override {
    std::string seen = std::string(message);
    if (ProgressDialog* dialog = progress_.dialog()) {
      seen += " | " + Std(dialog->windowTitle()) + " " +
              std::to_string(Find<QProgressBar>(dialog, IDC_PROGRESS_BAR)->value()) + " " +
              Std(Find<QLabel>(dialog, IDC_PROGRESS_TEXT)->text()) +
              (dialog->isVisible() ? " shown" : "");
    }
    shown.push_back(seen);
  }
  std::vector<std::string> shown;

 private:
  QtProgressSink& progress_;
};

TEST(ProgressDialogTest, FollowsTheProcedureAndGoesAwayOnEveryPath) {
  const int before = TopLevelDialogs();
  QtProgressSink progress;
  progress.Open(text::kUninstallCaption);
  ProgressDialog* dialog = progress.dialog();
  ASSERT_NE(dialog, nullptr);
  auto* bar = Find<QProgressBar>(dialog, IDC_PROGRESS_BAR);
  auto* status = Find<QLabel>(dialog, IDC_PROGRESS_TEXT);
  EXPECT_EQ(Std(dialog->windowTitle()), "ｱﾝｲﾝｽﾄｰﾙ");
  EXPECT_EQ(Std(status->text()), "ﾌｧｲﾙをｺﾋﾟｰ中");
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);
  EXPECT_FALSE(dialog->isModal());
  EXPECT_FALSE(dialog->windowFlags() & Qt::WindowSystemMenuHint);
  progress.Close();
  EXPECT_EQ(TopLevelDialogs(), before);

  // A failing installation shows its message over the dialog, then the dialog goes.
  SetupRig rig;
  rig.files.files.erase("TAMRIX.hlp");
  ProgressWatchingMessages messages(progress);
  SetupEnvironment env = rig.Environment(false);
  SetupEnvironment shown{
      env.files, env.registry,    env.services, env.windows,         env.shortcuts,
      progress,  messages,        env.clock,    env.systemDirectory, env.windowsDirectory,
      false,     env.startProgram, env.shareWithOperators};
  EXPECT_EQ(RunInstallation(shown), 0);
  EXPECT_EQ(messages.shown,
            (std::vector<std::string>{"TAMRIX.hlp のｺﾋﾟｰに失敗しました。 | ｲﾝｽﾄｰﾙ 35 "
                                      "ﾌｧｲﾙをｺﾋﾟｰしています... shown",
                                      std::string(text::kString103)}));
  EXPECT_EQ(progress.dialog(), nullptr);
  EXPECT_EQ(TopLevelDialogs(), before);
}

TEST(SetupMessagesTest, BoxesCarryTheProgramNameAndTheIcon) {
  const std::pair<int, QMessageBox::Icon> cases[] = {
      {MB_ICONSTOP, QMessageBox::Critical},
      {MB_ICONEXCLAMATION, QMessageBox::Warning},
      {MB_ICONINFORMATION, QMessageBox::Information}};
  for (const auto& [icon, expected] : cases) {
    std::string caption;
    std::string shownText;
    QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        caption = Std(box->windowTitle());
        shownText = Std(box->text());
        shownIcon = box->icon();
        box->accept();
      }
    });
    QtSetupMessages messages;
    messages.Show(text::kString102, icon);
    EXPECT_EQ(caption, "setup");
    EXPECT_EQ(shownText, text::kString102);
    EXPECT_EQ(shownIcon, expected) << icon;
  }
}

}  // namespace
}  // namespace tamrix::testing
