#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>
#include <QTreeWidget>
#include <QWindow>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "control_panel/control_ids.h"
#include "control_panel/lease_text.h"
#include "control_panel/panel_window.h"
#include "control_panel/status_table.h"
#include "control_panel/views/about_dialog.h"
#include "control_panel/views/desktop_help_viewer.h"
#include "control_panel/views/help_window.h"
#include "control_panel/views/lease_detail_dialog.h"
#include "control_panel/views/page_widgets.h"
#include "control_panel/views/panel_endpoint.h"
#include "control_panel/views/qt_message_boxes.h"
#include "control_panel/views/settings_sheet.h"
#include "control_panel/views/startup_dialog.h"
#include "control_panel/views/status_dialog.h"
#include "platform/machine_paths.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_window_system.h"
#include "platform/private_profile.h"
#include "platform/qt/japanese_translations.h"
#include "tests/control_panel/panel_rig.h"

namespace tamrix {
namespace {

using testing::kPool;
using testing::MakeLease;

std::string UniqueRoot() {
  static int serial = 0;
  return ::testing::TempDir() + "tamrix_mw_" + std::to_string(::getpid()) + "_" +
         std::to_string(++serial);
}

// The main window on a machine of its own under a temporary root, with a fake service.
class MainWindowTest : public ::testing::Test, public testing::PanelRig {
 protected:
  MainWindowTest() : PanelRig(UniqueRoot()) { leases.table = testing::SampleLeases(); }

  void Open(bool initialize = true) { OpenMainWindow(initialize); }

  template <typename T = QWidget>
  T* Control(QWidget* parent, int id) {
    T* control = parent->findChild<T*>(QString::number(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
  }
  QPushButton* Button(int id) { return Control<QPushButton>(dialog.get(), id); }
  void Click(int id) { Button(id)->click(); }
  void Select(int row) { dialog->list()->setCurrentItem(dialog->list()->topLevelItem(row)); }
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    QTreeWidget* list = dialog->list();
    for (int r = 0; r < list->topLevelItemCount(); ++r) {
      std::string row;
      for (int c = 0; c < list->columnCount(); ++c) {
        row += (c ? "|" : "") + Std8(list->topLevelItem(r)->text(c));
      }
      rows.push_back(row);
    }
    return rows;
  }
  // Which service buttons can be pressed, in the order 開始 停止 一時停止 続行 設定変更.
  std::string Enabled() {
    std::string flags;
    for (int id : {IDC_START, IDC_STOP, IDC_PAUSE, IDC_CONTINUE, IDC_SETTINGS}) {
      flags += Button(id)->isEnabled() ? '1' : '0';
    }
    return flags;
  }
  int DefaultButton() {
    for (int id : {IDC_START, IDC_STOP, IDC_PAUSE, IDC_CONTINUE}) {
      if (Button(id)->isDefault()) return id;
    }
    return 0;
  }
  std::string StatusText() { return Std8(Control<QLabel>(dialog.get(), IDC_STATUS_TEXT)->text()); }

  // Runs action on the next modal dialog once its own loop runs; every other modal window that
  // opens meanwhile is recorded and closed, so a wrong dialog fails the test instead of hanging it.
  template <typename T>
  void WhenModal(std::function<void(T*)> action) {
    auto* timer = new QTimer(&timers);
    timer->setInterval(1);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [this, timer, tries, action] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || modal == dialog.get()) {
        if (++*tries > 3000) timer->deleteLater();
        return;
      }
      timer->deleteLater();
      if (T* wanted = dynamic_cast<T*>(modal)) {
        action(wanted);
      } else {
        unexpected.push_back(modal->metaObject()->className());
        modal->close();
      }
    });
    timer->start();
  }

  std::vector<std::string> unexpected;
  QObject timers;  // a watch that never fired ends with its test
};

TEST_F(MainWindowTest, ListShowsHeldEntriesWithAClient) {
  WriteSettings(kPool);
  leases.table[1].expiry = 0;
  Open();
  const std::vector<std::string> rows = Rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], " |192.168.  0.  2|<無期限>|taro");
  EXPECT_EQ(rows[1].substr(0, 17), "*|192.168.  0.  4");
  EXPECT_EQ(rows[2], " |192.168.  0.  5|<無期限>|printer");
  EXPECT_EQ(rows[3].substr(0, 17), "*|192.168.  0.  6");
  EXPECT_EQ(Std8(dialog->list()->headerItem()->text(1)), "IPｱﾄﾞﾚｽ");
  EXPECT_EQ(Std8(dialog->list()->headerItem()->text(2)), "有効期限");
  EXPECT_EQ(Std8(dialog->list()->headerItem()->text(3)), "ﾎｽﾄ名");
  EXPECT_EQ(Std8(dialog->windowTitle()), "簡易DHCPｻｰﾋﾞｽ");

  // 詳細 follows the selection; a refill clears it.
  EXPECT_FALSE(Button(IDC_DETAIL)->isEnabled());
  Select(1);
  EXPECT_TRUE(Button(IDC_DETAIL)->isEnabled());
  Click(IDC_REFRESH);
  EXPECT_FALSE(Button(IDC_DETAIL)->isEnabled());
  EXPECT_EQ(leases.fetches, 2);
}

TEST_F(MainWindowTest, DetailWithoutSelectionAsksForOne) {
  WriteSettings(kPool);
  Open();
  dialog->ShowDetail();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].number, 124);
  EXPECT_EQ(boxes.shown[0].text, "ﾘｽﾄﾎﾞｯｸｽのｱｲﾃﾑを選択して下さい");
}

TEST_F(MainWindowTest, ReservedEntryCannotBeReleased) {
  WriteSettings(kPool);
  Open();
  Select(2);  // the third row, with two hidden entries before it in the table
  std::map<int, std::string> fields;
  bool releasable = true;
  WhenModal<CLeaseDetailDialog>([&](CLeaseDetailDialog* detail) {
    for (int id = IDC_LEASE_ADDRESS; id <= IDC_LEASE_EXPIRY; ++id) {
      fields[id] = Std8(Control<QLabel>(detail, id)->text());
    }
    releasable = Control<QPushButton>(detail, IDC_RELEASE)->isEnabled();
    Control<QPushButton>(detail, IDCANCEL)->click();
  });
  Click(IDC_DETAIL);
  EXPECT_TRUE(unexpected.empty());
  EXPECT_EQ(fields[IDC_LEASE_ADDRESS], "192.168.0.5");
  EXPECT_EQ(fields[IDC_LEASE_CLIENT], "01:00A0C9123405");
  EXPECT_EQ(fields[IDC_LEASE_HOST], "printer");
  EXPECT_EQ(fields[IDC_LEASE_STATE], "静的割り当て中");
  EXPECT_EQ(fields[IDC_LEASE_EXPIRY], "無期限");
  EXPECT_FALSE(releasable);
  EXPECT_TRUE(leases.releases.empty());
}

TEST_F(MainWindowTest, ReleasingAnOfferRemovesItFromTheList) {
  WriteSettings(kPool);
  Open();
  Select(1);
  std::string state;
  WhenModal<CLeaseDetailDialog>([&](CLeaseDetailDialog* detail) {
    state = Std8(Control<QLabel>(detail, IDC_LEASE_STATE)->text());
    Control<QPushButton>(detail, IDC_RELEASE)->click();
  });
  // A double-click opens the detail like 詳細.
  emit dialog->list()->itemDoubleClicked(dialog->list()->topLevelItem(1), 0);
  EXPECT_EQ(state, "仮割り当て中");
  ASSERT_EQ(leases.releases.size(), 1u);
  EXPECT_EQ(leases.releases[0].address, 0xC0A80004u);
  EXPECT_EQ(leases.releases[0].hostName, "hanako");
  EXPECT_EQ(ClientIdText(leases.releases[0].client), "01:00A0C9123404");
  const std::vector<std::string> rows = Rows();
  ASSERT_EQ(rows.size(), 3u);
  for (const std::string& row : rows) EXPECT_EQ(row.find("0.  4"), std::string::npos) << row;
}

TEST_F(MainWindowTest, ButtonsFollowTheStatusThroughEveryCommand) {
  WriteSettings(kPool);
  Open();
  EXPECT_EQ(StatusText(), "停止中");
  EXPECT_EQ(Enabled(), "10001");
  EXPECT_EQ(DefaultButton(), IDC_START);
  // Usable while stopped: 開始, 設定変更, ｽﾀｰﾄｱｯﾌﾟ, 最新の情報, ﾍﾙﾌﾟ, 閉じる.
  for (int id : {IDC_STARTUP, IDC_REFRESH, IDC_HELP, IDC_CLOSE}) {
    EXPECT_TRUE(Button(id)->isEnabled()) << id;
  }

  const struct {
    int button;
    const char* text;
    const char* enabled;
    int defaultButton;
  } steps[] = {
      {IDC_START, "実行中", "01100", IDC_STOP},
      {IDC_PAUSE, "一時停止中", "01010", IDC_CONTINUE},
      {IDC_CONTINUE, "実行中", "01100", IDC_STOP},
      {IDC_STOP, "停止中", "10001", IDC_START},
  };
  int fetches = leases.fetches;
  for (const auto& step : steps) {
    Click(step.button);
    EXPECT_EQ(StatusText(), step.text) << step.button;
    EXPECT_EQ(Enabled(), step.enabled) << step.button;
    EXPECT_EQ(DefaultButton(), step.defaultButton) << step.button;
    EXPECT_EQ(leases.fetches, ++fetches) << step.button;  // the list is refilled each time
  }
  EXPECT_EQ(service.calls,
            (std::vector<std::string>{"startup", "status", "start", "status", "pause", "status",
                                      "continue", "status", "stop", "status"}));
}

TEST_F(MainWindowTest, SettingsSheetOpensBeforeTheListWhenThePoolIsUnset) {
  WriteSettings("[TAMRIX]\r\nEndIPAddr=192.168.0.50\r\nSubnetMask=255.255.255.0\r\n");
  int fetchesWhileOpen = -1;
  int rowsWhileOpen = -1;
  WhenModal<SettingsSheet>([&](SettingsSheet* sheet) {
    fetchesWhileOpen = leases.fetches;
    rowsWhileOpen = dialog->list()->topLevelItemCount();
    sheet->reject();
  });
  Open();
  EXPECT_TRUE(unexpected.empty());
  EXPECT_EQ(fetchesWhileOpen, 0);
  EXPECT_EQ(rowsWhileOpen, 0);
  EXPECT_EQ(leases.fetches, 1);
  EXPECT_EQ(dialog->list()->topLevelItemCount(), 4);
}

TEST_F(MainWindowTest, StartupDialogShowsAndAppliesTheType) {
  WriteSettings(kPool);
  Open();
  bool manualChecked = false;
  bool disabledUsable = false;
  WhenModal<CStartupDialog>([&](CStartupDialog* startup) {
    manualChecked = Control<QRadioButton>(startup, IDC_STARTUP_MANUAL)->isChecked();
    disabledUsable = Control<QRadioButton>(startup, IDC_STARTUP_DISABLED)->isEnabled();
    Control<QRadioButton>(startup, IDC_STARTUP_AUTOMATIC)->click();
    Control<QPushButton>(startup, IDOK)->click();
  });
  Click(IDC_STARTUP);
  EXPECT_TRUE(manualChecked);
  EXPECT_TRUE(disabledUsable);
  EXPECT_EQ(service.applied, STARTUP_AUTOMATIC);

  // Cancel keeps what the machine holds.
  WhenModal<CStartupDialog>([&](CStartupDialog* startup) {
    Control<QRadioButton>(startup, IDC_STARTUP_MANUAL)->click();
    Control<QPushButton>(startup, IDCANCEL)->click();
  });
  Click(IDC_STARTUP);
  EXPECT_EQ(service.applied, STARTUP_AUTOMATIC);
}

TEST_F(MainWindowTest, StartupDialogOn95HasNoDisabledType) {
  CStartupDialog startup(STARTUP_UNKNOWN, false);
  EXPECT_FALSE(Control<QRadioButton>(&startup, IDC_STARTUP_DISABLED)->isEnabled());
  EXPECT_EQ(startup.checked(), STARTUP_UNKNOWN);  // none checked
}

TEST_F(MainWindowTest, AboutBoxReadsInstalledVersions) {
  const std::string folder = JoinPath(paths.SystemDirectory(), "TAMRIX");
  std::filesystem::create_directories(folder);
  files.ReplaceFile(JoinPath(folder, "TAMRIX.exe"), std::string("\x7f"
                                                                "ELF TAMRIX-FILEVERSION:1.2.1.0\0",
                                                                32));
  for (bool isNT : {true, false}) {
    CAboutDialog about(files, paths.SystemDirectory(), isNT);
    EXPECT_EQ(Std8(about.windowTitle()), "ﾊﾞｰｼﾞｮﾝ情報 TAMRIX");
    EXPECT_EQ(Std8(Control<QLabel>(&about, IDC_PANEL_FILE)->text()), "TAMRIX.EXE");
    EXPECT_EQ(Std8(Control<QLabel>(&about, IDC_PANEL_VERSION)->text()), "1.2.1.0");
    EXPECT_EQ(Std8(Control<QLabel>(&about, IDC_SERVICE_FILE)->text()),
              isNT ? "TAMXNTs.EXE" : "TAMRIXs.EXE");
    EXPECT_EQ(Std8(Control<QLabel>(&about, IDC_SERVICE_VERSION)->text()), "N/A");
  }
}

TEST_F(MainWindowTest, AboutEntryAndHelp) {
  WriteSettings(kPool);
  Open();
  auto* about = dialog->findChild<QAction*>(QString::number(IDM_ABOUTBOX));
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(Std8(about->text()), "ﾊﾞｰｼﾞｮﾝ情報(TAMRIX) (&A)...");
  EXPECT_TRUE(dialog->actions().contains(about));  // shown in the window's context menu
  bool opened = false;
  WhenModal<CAboutDialog>([&](CAboutDialog* box) {
    opened = true;
    box->accept();
  });
  about->trigger();
  EXPECT_TRUE(opened);

  Click(IDC_HELP);
  EXPECT_EQ(help.opened,
            (std::vector<std::string>{paths.SystemDirectory() + "/TAMRIX/TAMRIX.hlp"}));
}

// The window manager's menu is out of reach: the version entry must also be behind a button in
// sight, and the windows must carry the program's icon, loaded from the resources.
TEST_F(MainWindowTest, VersionEntryBehindTheIconButtonAndTheIcons) {
  WriteSettings(kPool);
  Open();
  EXPECT_FALSE(dialog->windowIcon().pixmap(32).isNull());
  auto* button = dialog->findChild<QToolButton*>(QStringLiteral("menu"));
  ASSERT_NE(button, nullptr);
  EXPECT_TRUE(button->isVisible());
  EXPECT_TRUE(dialog->rect().contains(button->geometry()));
  auto* about = dialog->findChild<QAction*>(QString::number(IDM_ABOUTBOX));
  ASSERT_TRUE(button->menu() != nullptr && button->menu()->actions().contains(about));
  bool iconShown = false;
  WhenModal<CAboutDialog>([&](CAboutDialog* box) {
    for (QLabel* label : box->findChildren<QLabel*>()) iconShown |= !label->pixmap().isNull();
    box->accept();
  });
  button->menu()->actions().front()->trigger();
  EXPECT_TRUE(unexpected.empty());
  EXPECT_TRUE(iconShown);
}

TEST_F(MainWindowTest, LongHostNameIsWholeInTheRowsTooltip) {
  WriteSettings(kPool);
  const std::string name(kMaxHostNameLength, 'h');
  leases.table.push_back(MakeLease(LEASE_BOUND, 0xC0A80007, 7, name.c_str(), 0));
  Open();
  QTreeWidgetItem* row = dialog->list()->topLevelItem(4);
  ASSERT_NE(row, nullptr);
  for (int column = 0; column < 4; ++column) EXPECT_EQ(Std8(row->toolTip(column)), name);
}

class HelpWindowTest : public MainWindowTest {
 protected:
  HelpWindowTest() { helpInUse = &viewer; }
  std::string HelpFile() { return HelpFilePath(paths.SystemDirectory()); }
  HelpWindowViewer viewer{boxes};
};

TEST_F(HelpWindowTest, HelpOpensInAWindowThatTakesInputAndGoesWithTheMainWindow) {
  std::filesystem::create_directories(JoinPath(paths.SystemDirectory(), "TAMRIX"));
  std::string page = "<html><head><title>manual title</title></head><body>";
  for (int i = 0; i < 200; ++i) page += "<p>line " + std::to_string(i) + "</p>";
  files.ReplaceFile(HelpFile(), page + "</body></html>");
  WriteSettings(kPool);
  Open();
  viewer.setOwner(dialog.get());
  std::string selected;
  // The main window runs modal: the help must take input all the same.
  QTimer::singleShot(0, [&] {
    Click(IDC_HELP);
    Click(IDC_HELP);  // a second press brings back the same window
    if (QTextBrowser* help = viewer.window()) {
      QApplication::processEvents();
      const QPoint word = help->viewport()->mapTo(help, QPoint(12, 12));
      QTest::mouseDClick(help->windowHandle(), Qt::LeftButton, {}, word);
      selected = Std8(help->textCursor().selectedText());
    }
    dialog->accept();
  });
  dialog->hide();  // as in the program, whose window first shows in its modal loop
  dialog->exec();
  QPointer<QTextBrowser> help = viewer.window();
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(dialog->findChildren<QTextBrowser*>().size(), 1);
  EXPECT_TRUE(help->isWindow());
  EXPECT_EQ(Std8(help->windowTitle()), "manual title");
  EXPECT_TRUE(help->toPlainText().contains(QStringLiteral("line 199")));
  EXPECT_EQ(selected, "line");
  dialog.reset();
  EXPECT_EQ(help, nullptr);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(HelpWindowTest, MissingHelpFileIsSaidInABox) {
  QTextBrowser desktop;  // stands in for the desktop, which must not be asked
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &desktop, "setSource");
  viewer.ShowHelp(HelpFile());
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  EXPECT_EQ(viewer.window(), nullptr);
  EXPECT_TRUE(desktop.source().isEmpty());
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "ﾍﾙﾌﾟﾌｧｲﾙを開けません\n" + HelpFile());
}

// Qt's standard buttons speak Japanese with the rest of the program.
TEST(QtTranslationsTest, OkCancelBoxCancelsInJapanese) {
  QTranslator* japanese = InstallJapaneseQtTranslations(*QCoreApplication::instance());
  if (japanese == nullptr) GTEST_SKIP() << "Qt's Japanese translations are not installed";
  QString cancel;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      cancel = box->button(QMessageBox::Cancel)->text();
      box->button(QMessageBox::Cancel)->click();
    }
  });
  QtMessageBoxes boxes;
  const bool ok = boxes.AskOkCancel(MSG_RANGE_CHANGE, PanelMessageText(MSG_RANGE_CHANGE));
  QCoreApplication::removeTranslator(japanese);
  delete japanese;
  EXPECT_FALSE(ok);
  EXPECT_EQ(Std8(cancel), "キャンセル");
}

// Another program's messages arrive on a thread of their own, as from another process; the
// window takes them in through the Qt event loop.
class OtherProgram {
 public:
  explicit OtherProgram(std::function<void()> work)
      : thread_([this, work] {
          work();
          done_ = true;
        }) {}
  ~OtherProgram() { thread_.join(); }
  // Runs the event loop until the other program is done (or a generous bound runs out).
  bool Wait() {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (done_ || ++ticks_ > 5000) loop.quit();
    });
    poll.start(1);
    loop.exec();
    return done_;
  }

 private:
  std::atomic<bool> done_{false};
  int ticks_ = 0;
  std::thread thread_;
};

TEST_F(MainWindowTest, SecondCopyBringsTheFirstToTheFront) {
  WriteSettings(kPool);
  Open();
  PosixWindowSystem windows(paths);
  PanelEndpoint endpoint(windows, *dialog);
  ASSERT_TRUE(endpoint.created());
  dialog->showMinimized();
  ASSERT_TRUE(dialog->isMinimized());

  bool activated = false;
  OtherProgram second([&] {
    PosixWindowSystem itsWindows(paths);
    activated = ActivateRunningPanel(itsWindows);
  });
  ASSERT_TRUE(second.Wait());
  EXPECT_TRUE(activated);
  EXPECT_FALSE(dialog->isMinimized());
  EXPECT_TRUE(dialog->isVisible());

  // A copy that comes second cannot take the window.
  CStatusDialog other({service, leases, boxes, help, files, hosts, settings, *profile,
                       paths.WindowsDirectory(), paths.SystemDirectory()});
  EXPECT_FALSE(PanelEndpoint(windows, other).created());
}

TEST_F(MainWindowTest, CloseFromSetupEndsTheWindowAndItsDialogs) {
  WriteSettings(kPool);
  Open();
  PosixWindowSystem windows(paths);
  PanelEndpoint endpoint(windows, *dialog);
  ASSERT_TRUE(endpoint.created());
  Select(0);
  bool detailOpen = false;
  std::unique_ptr<OtherProgram> setup;
  WhenModal<CLeaseDetailDialog>([&](CLeaseDetailDialog*) {
    detailOpen = true;
    setup = std::make_unique<OtherProgram>([&] {
      PosixWindowSystem itsWindows(paths);
      const auto panel = itsWindows.FindWindow(kPanelWindowClass, kPanelWindowTitle);
      if (panel) itsWindows.SendMessage(*panel, WM_CLOSE);
    });
  });
  Click(IDC_DETAIL);  // returns when setup's close ended the detail dialog
  ASSERT_TRUE(detailOpen);
  ASSERT_TRUE(setup->Wait());
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_TRUE(leases.releases.empty());  // closing is not 削除
}

// Setup may close the panel while the first settings sheet is still open: the window must then
// end without starting its own loop.
TEST_F(MainWindowTest, CloseDuringTheFirstSheetEndsTheProgram) {
  WriteSettings("[TAMRIX]\r\n");
  Open(false);
  PosixWindowSystem windows(paths);
  PanelEndpoint endpoint(windows, *dialog);
  ASSERT_TRUE(endpoint.created());
  bool loopStarted = false;
  std::unique_ptr<OtherProgram> setup;
  WhenModal<SettingsSheet>([&](SettingsSheet*) {
    setup = std::make_unique<OtherProgram>([&] {
      PosixWindowSystem itsWindows(paths);
      const auto panel = itsWindows.FindWindow(kPanelWindowClass, kPanelWindowTitle);
      if (panel) itsWindows.SendMessage(*panel, WM_CLOSE);
    });
  });
  // Should the loop start after all, end it so that the test fails instead of hanging.
  auto* guard = new QTimer(&timers);
  QObject::connect(guard, &QTimer::timeout, [&] {
    if (QApplication::activeModalWidget() != dialog.get()) return;
    loopStarted = true;
    dialog->reject();
  });
  guard->start(1);
  EXPECT_EQ(dialog->Run(), QDialog::Rejected);
  ASSERT_NE(setup, nullptr);
  ASSERT_TRUE(setup->Wait());
  EXPECT_FALSE(loopStarted);
}

// Desktops choose the program for a file by its extension, and ".hlp" names no browser: the
// page must reach the desktop under an ".html" name, with the manual's own text.
TEST(DesktopHelpViewerTest, HandsTheDesktopTheManualAsAnHtmlPage) {
  const std::string dir = ::testing::TempDir() + "tamrix_help_" + std::to_string(::getpid());
  std::filesystem::create_directories(dir + "/TAMRIX");
  const std::string help = dir + "/TAMRIX/TAMRIX.hlp";
  { std::ofstream(help) << "<html><body>manual</body></html>\n"; }
  const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
  qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(dir + "/cache"));
  QTextBrowser opened;  // stands in for the desktop: its source is the address it was handed
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "setSource");

  DesktopHelpViewer().ShowHelp(help);

  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  if (oldCache.isNull()) {
    qunsetenv("XDG_CACHE_HOME");
  } else {
    qputenv("XDG_CACHE_HOME", oldCache);
  }
  const std::string shown = opened.source().toLocalFile().toStdString();
  EXPECT_TRUE(shown.ends_with(".html")) << shown;
  EXPECT_EQ(PosixFileSystem().ReadFile(shown), PosixFileSystem().ReadFile(help));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tamrix
