#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "control_panel/views/page_widgets.h"
#include "control_panel/views/settings_sheet.h"
#include "platform/machine_paths.h"
#include "platform/posix/posix_file_system.h"
#include "platform/private_profile.h"
#include "tests/control_panel/recording_message_boxes.h"
#include "tests/fakes/fake_host_lookup.h"

namespace tamrix {
namespace {

enum Tab { kRange, kDuration, kDns, kWins, kReserve, kClient, kOption, kMailNews };

// A sheet on a machine of its own under a temporary root.
class SheetTest : public ::testing::Test {
 protected:
  SheetTest() {
    static int serial = 0;
    paths.root = ::testing::TempDir() + "tamrix_sheet_" + std::to_string(::getpid()) + "_" +
                 std::to_string(++serial);
    std::filesystem::create_directories(paths.WindowsDirectory());
    profile = OpenPrivateProfile(files, paths.WindowsDirectory(), "TAMRIX.INI");
  }
  ~SheetTest() override {
    sheet.reset();
    std::filesystem::remove_all(paths.root);
  }

  void WriteFile(const std::string& name, const std::string& bytes) {
    files.ReplaceFile(JoinPath(paths.WindowsDirectory(), name), bytes);
  }
  std::string ReadFile(const std::string& name) {
    return files.ReadFile(JoinPath(paths.WindowsDirectory(), name)).value_or("<missing>");
  }
  void StoredPool() {
    WriteFile("TAMRIX.INI",
              "[TAMRIX]\r\nNTP=ntp.example\r\nStartIPAddr=192.168.0.1\r\n"
              "EndIPAddr=192.168.0.10\r\nSubnetMask=255.255.255.0\r\n");
  }
  void Open(QWidget* parent = nullptr) {
    settings = LoadPanelSettings(*profile);
    sheet = std::make_unique<SettingsSheet>(
        SheetContext{settings, *profile, files, hosts, boxes, paths.WindowsDirectory()}, parent);
    sheet->show();
  }

  template <typename T = QWidget>
  T* Control(int id) {
    T* control = sheet->findChild<T*>(QString::number(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
  }
  void Type(int id, const char* text) {
    QLineEdit* field = Control<QLineEdit>(id);
    field->selectAll();
    QTest::keyClicks(field, Qt8(text));
  }
  void Clear(int id) {
    Control<QLineEdit>(id)->selectAll();
    QTest::keyClick(Control<QLineEdit>(id), Qt::Key_Backspace);
  }
  void Click(int id) { Control<QAbstractButton>(id)->click(); }
  void GoTo(int tab) { sheet->tabs()->setCurrentIndex(tab); }
  int Current() { return sheet->tabs()->currentIndex(); }
  std::vector<std::string> Rows(int id) {
    std::vector<std::string> rows;
    auto* list = Control<QTreeWidget>(id);
    for (int r = 0; r < list->topLevelItemCount(); ++r) {
      std::string row;
      for (int c = 0; c < list->columnCount(); ++c) {
        row += (c ? "|" : "") + Std8(list->topLevelItem(r)->text(c));
      }
      rows.push_back(row);
    }
    return rows;
  }

  MachinePaths paths;
  PosixFileSystem files;
  testing::FakeHostLookup hosts;
  testing::RecordingMessageBoxes boxes;
  std::unique_ptr<PrivateProfile> profile;
  PanelSettings settings;
  std::unique_ptr<QDialog> owner;  // outlives its child sheet
  std::unique_ptr<SettingsSheet> sheet;
};

TEST_F(SheetTest, HasItsCaptionTabsAndButtons) {
  Open();
  EXPECT_EQ(Std8(sheet->windowTitle()), "TAMRIX 設定");
  const std::vector<std::string> titles = {"ﾘｰｽ設定",   "ﾘｰｽ期限",    "DNS設定", "WINS設定",
                                           "ｱﾄﾞﾚｽ予約", "ｸﾗｲｱﾝﾄ限定", "ｵﾌﾟｼｮﾝ",  "ﾒｰﾙ&&ﾆｭｰｽ"};
  ASSERT_EQ(sheet->tabs()->count(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Std8(sheet->tabs()->tabText(i)), titles[i]);
  EXPECT_EQ(Std8(Control<QPushButton>(1)->text()), "OK");
  EXPECT_EQ(Std8(Control<QPushButton>(2)->text()), "キャンセル");
  EXPECT_EQ(Std8(Control<QPushButton>(12321)->text()), "適用");
  EXPECT_FALSE(Control<QPushButton>(12321)->isEnabled());
  Type(1032, "192.168.0.1");
  EXPECT_TRUE(Control<QPushButton>(12321)->isEnabled());
  EXPECT_EQ(Control<QLineEdit>(1032)->maxLength(), 15);
}

// At first start the main window opens the sheet before it is itself on screen.
TEST_F(SheetTest, FirstSheetOpensCentredWithTypingInTheFirstField) {
  owner = std::make_unique<QDialog>();
  Open(owner.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(sheet.get()));
  EXPECT_EQ(QApplication::focusWidget(), Control(1032));
  const QPoint off =
      sheet->frameGeometry().center() - sheet->screen()->availableGeometry().center();
  EXPECT_LE(off.manhattanLength(), 4) << off.x() << "," << off.y();
}

TEST_F(SheetTest, LeavingAPageRunsItsChecksInOrder) {
  Open();
  GoTo(kDuration);
  EXPECT_EQ(Current(), kRange);
  Type(1032, "192.168.0.1");
  GoTo(kDuration);
  Type(1033, "192.168.1.1");
  Type(1034, "255.255.254.0");
  GoTo(kDuration);
  EXPECT_EQ(Current(), kRange);
  Type(1033, "192.168.1.0");
  GoTo(kDuration);
  EXPECT_EQ(Current(), kDuration);
  EXPECT_EQ(boxes.Numbers(), (std::vector<int>{112, 113, 118}));
  EXPECT_EQ(boxes.shown[0].text, "開始IPｱﾄﾞﾚｽを指定して下さい");
  EXPECT_FALSE(boxes.shown[0].question);
}

TEST_F(SheetTest, ChangingAStoredRangeAsksAndCancelKeepsThePage) {
  StoredPool();
  Open();
  Type(1013, "192.168.0.254");
  GoTo(kDns);
  EXPECT_EQ(Current(), kDns);
  EXPECT_TRUE(boxes.shown.empty());
  GoTo(kRange);
  Type(1032, "192.168.0.2");
  boxes.answers = {false, true};
  GoTo(kDns);
  EXPECT_EQ(Current(), kRange);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_TRUE(boxes.shown[0].question);
  EXPECT_EQ(boxes.shown[0].text,
            "貸し出すIPｱﾄﾞﾚｽの範囲を変更すると、\n割り当て済みのIPｱﾄﾞﾚｽは無効になります");
  GoTo(kDns);
  EXPECT_EQ(Current(), kDns);
}

TEST_F(SheetTest, OkStoresEveryGroupAndKeepsUnknownKeys) {
  StoredPool();
  Open();
  GoTo(kDuration);
  Click(1036);
  Type(1024, "2");
  Type(1025, "30");
  Click(1);
  EXPECT_EQ(sheet->result(), QDialog::Accepted);
  EXPECT_FALSE(sheet->isVisible());
  const std::string ini = ReadFile("TAMRIX.INI");
  EXPECT_EQ(ini.rfind("[TAMRIX]\r\nNTP=ntp.example\r\nStartIPAddr=192.168.0.1\r\n", 0), 0u);
  EXPECT_NE(ini.find("LeaseTime=9000\r\nExtendTime=0\r\n"), std::string::npos);
  EXPECT_NE(ini.find("OptDHCPINFORM=0\r\n"), std::string::npos);
  EXPECT_NE(ini.find("SMTP=\r\n"), std::string::npos);
}

TEST_F(SheetTest, ApplyWritesOnlyShownPagesAndCancelNothingMore) {
  StoredPool();
  WriteFile("TAMRIX.INI", ReadFile("TAMRIX.INI") + "DNSAddr1=10.0.0.1\r\nDomainName=x\r\n");
  Open();
  GoTo(kDns);
  Click(1018);
  EXPECT_FALSE(Control<QLineEdit>(1010)->isEnabled());
  EXPECT_TRUE(Control<QPushButton>(12321)->isEnabled());
  Click(12321);
  EXPECT_FALSE(Control<QPushButton>(12321)->isEnabled());
  EXPECT_TRUE(sheet->isVisible());
  std::string ini = ReadFile("TAMRIX.INI");
  // Tab 1 was shown when the sheet opened, so its group is written too.
  EXPECT_NE(ini.find("DNSAddr1=\r\nDomainName=\r\nGateway=\r\nDNSAddr2=\r\n"),
            std::string::npos);
  EXPECT_EQ(ini.find("WINSAddr1"), std::string::npos);  // never shown
  EXPECT_EQ(ini.find("TAMRIX.db"), std::string::npos);
  GoTo(kWins);
  Click(1022);
  Type(1037, "10.0.0.9");
  Click(2);
  EXPECT_EQ(sheet->result(), QDialog::Rejected);
  EXPECT_EQ(ReadFile("TAMRIX.INI"), ini);
  EXPECT_EQ(ReadFile("TAMRIX.db"), "<missing>");
}

TEST_F(SheetTest, DurationFieldsTakeDigitsAndFollowTheRadios) {
  StoredPool();
  Open();
  GoTo(kDuration);
  EXPECT_TRUE(Control<QRadioButton>(1035)->isChecked());
  EXPECT_FALSE(Control<QLineEdit>(1023)->isEnabled());
  Click(1036);
  EXPECT_TRUE(Control<QLineEdit>(1023)->isEnabled());
  EXPECT_FALSE(Control<QLineEdit>(1026)->isEnabled());
  Type(1023, "1x2");
  EXPECT_EQ(Std8(Control<QLineEdit>(1023)->text()), "12");
  GoTo(kDns);
  EXPECT_EQ(Current(), kDns);
  GoTo(kDuration);
  Type(1023, "0");
  GoTo(kDns);
  EXPECT_EQ(Current(), kDuration);
  EXPECT_EQ(boxes.Numbers(), (std::vector<int>{121}));
}

TEST_F(SheetTest, ReservationsAreEditedAndWrittenOnOk) {
  StoredPool();
  WriteFile("TAMRIX.db",
            "C0A80001\r\nC0A8000A\r\nC0A80002,07,01,00,A0,C9,12,34,56,80000000,5F000000,taro\r\n");
  Open();
  GoTo(kReserve);
  EXPECT_EQ(Rows(1040), (std::vector<std::string>{" |192.168.  0.  2|taro"}));
  EXPECT_FALSE(Control<QPushButton>(1045)->isEnabled());
  Type(1044, "192.168.0.11");
  EXPECT_TRUE(Control<QPushButton>(1076)->isEnabled());
  Click(1076);
  EXPECT_EQ(boxes.Numbers(), (std::vector<int>{129}));
  Type(1044, "192.168.0.9");
  Click(1076);
  Type(1042, "01:0080C8123456");
  Type(1043, "hanako");
  Type(1044, "192.168.0.5");
  Click(1045);
  EXPECT_EQ(Rows(1040), (std::vector<std::string>{" |192.168.  0.  2|taro",
                                                  "+|192.168.  0.  5|hanako",
                                                  "+|192.168.  0.  9|<無効>"}));
  auto* list = Control<QTreeWidget>(1040);
  list->setCurrentItem(list->topLevelItem(0));
  EXPECT_TRUE(Control<QPushButton>(1046)->isEnabled());
  Click(1063);
  EXPECT_EQ(Std8(Control<QLineEdit>(1042)->text()), "01:00A0C9123456");
  EXPECT_EQ(Std8(Control<QLineEdit>(1044)->text()), "192.168.0.2");
  Click(1046);
  EXPECT_EQ(Rows(1040).size(), 2u);
  EXPECT_FALSE(Control<QPushButton>(1046)->isEnabled());
  Click(1046);  // nothing selected: the button is off, so nothing happens
  ASSERT_TRUE(sheet->PressOk());
  EXPECT_EQ(ReadFile("TAMRIX.db"),
            "C0A80001\r\nC0A8000A\r\n"
            "C0A80005,07,01,00,80,C8,12,34,56,20000000,00000000,hanako\r\n"
            "C0A80009,00,20000000,00000000,<\x96\xB3\x8C\xF8>\r\n");
}

TEST_F(SheetTest, ClientListFollowsTheSwitchAndIsWrittenOnOk) {
  StoredPool();
  Open();
  GoTo(kClient);
  EXPECT_FALSE(Control<QLineEdit>(1099)->isEnabled());
  EXPECT_FALSE(Control<QPushButton>(1100)->isEnabled());
  Click(1098);
  EXPECT_TRUE(Control<QLineEdit>(1099)->isEnabled());
  EXPECT_FALSE(Control<QPushButton>(1100)->isEnabled());
  Type(1099, "01:00A0C9123456");
  Type(1103, "printer");
  Click(1100);
  Click(1100);
  EXPECT_EQ(boxes.Numbers(), (std::vector<int>{138}));
  EXPECT_EQ(boxes.shown[0].text, "そのｸﾗｲｱﾝﾄは既に登録されています");
  EXPECT_EQ(Rows(1102), (std::vector<std::string>{"01:00A0C9123456|printer"}));
  ASSERT_TRUE(sheet->PressOk());
  EXPECT_EQ(ReadFile("TAMRIX.db2"), "07,01,00,A0,C9,12,34,56,printer\r\n");
  EXPECT_NE(ReadFile("TAMRIX.INI").find("CheckClient=1\r\n"), std::string::npos);
}

TEST_F(SheetTest, ConflictDetectionChecksAndAsksAboutLongProbes) {
  StoredPool();
  Open();
  GoTo(kOption);
  EXPECT_FALSE(Control<QLineEdit>(1070)->isEnabled());
  Click(1069);
  EXPECT_TRUE(Control<QLineEdit>(1070)->isEnabled());
  EXPECT_EQ(Std8(Control<QLineEdit>(1070)->text() + "/" + Control<QLineEdit>(1071)->text()),
            "1000/1");
  Clear(1070);
  EXPECT_FALSE(sheet->PressApply());
  Type(1070, "2000");
  Clear(1071);
  EXPECT_FALSE(sheet->PressOk());
  Type(1071, "2");
  boxes.answers = {false};
  EXPECT_FALSE(sheet->PressOk());
  EXPECT_EQ(boxes.Numbers(), (std::vector<int>{136, 135, 134}));
  EXPECT_TRUE(sheet->PressOk());
  const std::string ini = ReadFile("TAMRIX.INI");
  EXPECT_NE(ini.find("OptUsePing=1\r\nOptPingTry=2\r\nOptPingWait=2000\r\n"), std::string::npos);
}

TEST_F(SheetTest, ListsLineUpInAFixedPitchAndShowWholeIdentifiers) {
  StoredPool();
  WriteFile("TAMRIX.db", "C0A80001\r\nC0A8000A\r\nC0A80002,00,20000000,00000000,x\r\n");
  Open();
  GoTo(kClient);
  Click(1098);
  const char* longest = "FF:0102030405060708090A0B0C0D0E0F10";  // 17 bytes
  Type(1099, longest);
  Type(1103, "printer");
  Click(1100);
  auto* clients = Control<QTreeWidget>(1102);
  auto* reservations = Control<QTreeWidget>(1040);
  EXPECT_TRUE(clients->fontInfo().fixedPitch());
  EXPECT_TRUE(reservations->fontInfo().fixedPitch());
  ASSERT_EQ(Rows(1102), (std::vector<std::string>{std::string(longest) + "|printer"}));
  // The view's own measure of an unelided cell, margins included.
  const auto needed = [](QAbstractItemView* list, int c) { return list->sizeHintForColumn(c); };
  EXPECT_GE(clients->columnWidth(0), needed(clients, 0));
  EXPECT_GE(reservations->columnWidth(1), needed(reservations, 1));
  const QString id = clients->topLevelItem(0)->text(0);
  for (int c = 0; c < 2; ++c) {
    EXPECT_TRUE(clients->topLevelItem(0)->toolTip(c).contains(id)) << c;
  }
}

TEST_F(SheetTest, DisableSitsBesideAnAddressFieldOfItsOwnSize) {
  StoredPool();
  Open();
  GoTo(kReserve);
  const QRect field = Control(1044)->geometry(), disable = Control(1076)->geometry();
  EXPECT_GE(disable.center().y(), field.top());
  EXPECT_LE(disable.center().y(), field.bottom());
  EXPECT_GT(disable.left(), field.right());
  const QFontMetricsF metrics(Control(1044)->font());
  const qreal text = metrics.horizontalAdvance(QStringLiteral("255.255.255.255"));
  EXPECT_GE(field.width(), text);
  EXPECT_LE(field.width(), text + 3 * metrics.averageCharWidth());
  QWidget* next = Control(1044)->nextInFocusChain();
  while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
  EXPECT_EQ(next, Control(1076));
}

TEST_F(SheetTest, MailAndNewsNamesMustResolve) {
  StoredPool();
  hosts.names["mail.example"] = 0x0A000001;
  Open();
  GoTo(kMailNews);
  Type(1105, "mail.example");
  Type(1107, "news.nowhere");
  EXPECT_FALSE(sheet->PressOk());
  EXPECT_EQ(boxes.Numbers(), (std::vector<int>{141}));
  Type(1107, "mail.example");
  ASSERT_TRUE(sheet->PressOk());
  EXPECT_NE(ReadFile("TAMRIX.INI").find("SMTP=mail.example\r\nPOP3=\r\nNNTP=mail.example\r\n"),
            std::string::npos);
}

// Writes a picture of every page to $TAMRIX_SCREENSHOT_DIR; does nothing without it.
TEST_F(SheetTest, Screenshots) {
  const QString folder = qEnvironmentVariable("TAMRIX_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "TAMRIX_SCREENSHOT_DIR not set";
  WriteFile("TAMRIX.INI",
            "[TAMRIX]\r\nStartIPAddr=192.168.0.1\r\nEndIPAddr=192.168.0.50\r\n"
            "SubnetMask=255.255.255.0\r\nGateway=192.168.0.254\r\nDNSAddr1=192.168.0.254\r\n"
            "DomainName=example.jp\r\nLeaseTime=259200\r\nExtendTime=3600\r\nOptUsePing=1\r\n"
            "CheckClient=1\r\n");
  WriteFile("TAMRIX.db",
            "C0A80001\r\nC0A80032\r\nC0A80002,07,01,00,A0,C9,12,34,56,80000000,5F000000,taro\r\n"
            "C0A80005,07,01,00,80,C8,12,34,56,20000000,00000000,printer\r\n"
            "C0A80009,00,20000000,00000000,<\x96\xB3\x8C\xF8>\r\n");
  WriteFile("TAMRIX.db2", "07,01,00,A0,C9,12,34,56,\x8E\x96\x96\xB1\x8F\x8A\r\n");
  Open();
  QDir().mkpath(folder);
  for (int i = 0; i < sheet->tabs()->count(); ++i) {
    GoTo(i);
    ASSERT_EQ(Current(), i);
    QApplication::processEvents();
    const QString name = QStringLiteral("%1/sheet_%2_%3.png")
                             .arg(folder)
                             .arg(i + 1)
                             .arg(sheet->page(i)->objectName());
    EXPECT_TRUE(sheet->grab().save(name)) << Std8(name);
  }
}

}  // namespace
}  // namespace tamrix
