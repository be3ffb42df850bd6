#include <gtest/gtest.h>
#include <unistd.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "control_panel/control_ids.h"
#include "control_panel/views/page_widgets.h"
#include "control_panel/views/settings_sheet.h"
#include "tests/control_panel/panel_rig.h"

namespace tamrix {
namespace {

enum Tab { kRange, kDuration, kDns, kWins, kReserve, kClient, kOption, kMailNews };

std::string UniqueRoot() {
  static int serial = 0;
  return ::testing::TempDir() + "tamrix_sheet_" + std::to_string(::getpid()) + "_" +
         std::to_string(++serial);
}

// A sheet on a machine of its own under a temporary root.
class SheetTest : public ::testing::Test, public testing::PanelRig {
 protected:
  SheetTest() : PanelRig(UniqueRoot()) {}

  void StoredPool() {
    WriteFile("TAMRIX.INI",
              "[TAMRIX]\r\nNTP=ntp.example\r\nStartIPAddr=192.168.0.1\r\n"
              "EndIPAddr=192.168.0.10\r\nSubnetMask=255.255.255.0\r\n");
  }
  void Open(QWidget* parent = nullptr) { OpenSheet(parent); }

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
};

TEST_F(SheetTest, HasItsCaptionTabsAndButtons) {
  Open();
  EXPECT_EQ(Std8(sheet->windowTitle()), "TAMRIX 設定");
  const std::vector<std::string> titles = {"ﾘｰｽ設定",   "ﾘｰｽ期限",    "DNS設定", "WINS設定",
                                           "ｱﾄﾞﾚｽ予約", "ｸﾗｲｱﾝﾄ限定", "ｵﾌﾟｼｮﾝ",  "ﾒｰﾙ&&ﾆｭｰｽ"};
  ASSERT_EQ(sheet->tabs()->count(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Std8(sheet->tabs()->tabText(i)), titles[i]);
  EXPECT_EQ(Std8(Control<QPushButton>(IDOK)->text()), "OK");
  EXPECT_EQ(Std8(Control<QPushButton>(IDCANCEL)->text()), "キャンセル");
  EXPECT_EQ(Std8(Control<QPushButton>(IDC_APPLY_NOW)->text()), "適用");
  EXPECT_FALSE(Control<QPushButton>(IDC_APPLY_NOW)->isEnabled());
  Type(IDC_START_ADDRESS, "192.168.0.1");
  EXPECT_TRUE(Control<QPushButton>(IDC_APPLY_NOW)->isEnabled());
  EXPECT_EQ(Control<QLineEdit>(IDC_START_ADDRESS)->maxLength(), 15);
}

// At first start the main window opens the sheet before it is itself on screen.
TEST_F(SheetTest, FirstSheetOpensCentredWithTypingInTheFirstField) {
  owner = std::make_unique<QDialog>();
  Open(owner.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(sheet.get()));
  EXPECT_EQ(QApplication::focusWidget(), Control(IDC_START_ADDRESS));
  const QPoint off =
      sheet->frameGeometry().center() - sheet->screen()->availableGeometry().center();
  EXPECT_LE(off.manhattanLength(), 4) << off.x() << "," << off.y();
}

TEST_F(SheetTest, LeavingAPageRunsItsChecksInOrder) {
  Open();
  GoTo(kDuration);
  EXPECT_EQ(Current(), kRange);
  Type(IDC_START_ADDRESS, "192.168.0.1");
  GoTo(kDuration);
  Type(IDC_END_ADDRESS, "192.168.1.1");
  Type(IDC_SUBNET_MASK, "255.255.254.0");
  GoTo(kDuration);
  EXPECT_EQ(Current(), kRange);
  Type(IDC_END_ADDRESS, "192.168.1.0");
  GoTo(kDuration);
  EXPECT_EQ(Current(), kDuration);
  EXPECT_EQ(boxes.Numbers(), (std::vector<int>{112, 113, 118}));
  EXPECT_EQ(boxes.shown[0].text, "開始IPｱﾄﾞﾚｽを指定して下さい");
  EXPECT_FALSE(boxes.shown[0].question);
}

TEST_F(SheetTest, ChangingAStoredRangeAsksAndCancelKeepsThePage) {
  StoredPool();
  Open();
  Type(IDC_GATEWAY, "192.168.0.254");
  GoTo(kDns);
  EXPECT_EQ(Current(), kDns);
  EXPECT_TRUE(boxes.shown.empty());
  GoTo(kRange);
  Type(IDC_START_ADDRESS, "192.168.0.2");
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
  Click(IDC_LEASE_LIMITED);
  Type(IDC_LEASE_HOURS, "2");
  Type(IDC_LEASE_MINUTES, "30");
  Click(IDOK);
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
  Click(IDC_DNS_OFF);
  EXPECT_FALSE(Control<QLineEdit>(IDC_DNS1)->isEnabled());
  EXPECT_TRUE(Control<QPushButton>(IDC_APPLY_NOW)->isEnabled());
  Click(IDC_APPLY_NOW);
  EXPECT_FALSE(Control<QPushButton>(IDC_APPLY_NOW)->isEnabled());
  EXPECT_TRUE(sheet->isVisible());
  std::string ini = ReadFile("TAMRIX.INI");
  // Tab 1 was shown when the sheet opened, so its group is written too.
  EXPECT_NE(ini.find("DNSAddr1=\r\nDomainName=\r\nGateway=\r\nDNSAddr2=\r\n"),
            std::string::npos);
  EXPECT_EQ(ini.find("WINSAddr1"), std::string::npos);  // never shown
  EXPECT_EQ(ini.find("TAMRIX.db"), std::string::npos);
  GoTo(kWins);
  Click(IDC_WINS_ON);
  Type(IDC_WINS1, "10.0.0.9");
  Click(IDCANCEL);
  EXPECT_EQ(sheet->result(), QDialog::Rejected);
  EXPECT_EQ(ReadFile("TAMRIX.INI"), ini);
  EXPECT_EQ(ReadFile("TAMRIX.db"), "<missing>");
}

TEST_F(SheetTest, DurationFieldsTakeDigitsAndFollowTheRadios) {
  StoredPool();
  Open();
  GoTo(kDuration);
  EXPECT_TRUE(Control<QRadioButton>(IDC_LEASE_UNLIMITED)->isChecked());
  EXPECT_FALSE(Control<QLineEdit>(IDC_LEASE_DAYS)->isEnabled());
  Click(IDC_LEASE_LIMITED);
  EXPECT_TRUE(Control<QLineEdit>(IDC_LEASE_DAYS)->isEnabled());
  EXPECT_FALSE(Control<QLineEdit>(IDC_EXTEND_DAYS)->isEnabled());
  Type(IDC_LEASE_DAYS, "1x2");
  EXPECT_EQ(Std8(Control<QLineEdit>(IDC_LEASE_DAYS)->text()), "12");
  GoTo(kDns);
  EXPECT_EQ(Current(), kDns);
  GoTo(kDuration);
  Type(IDC_LEASE_DAYS, "0");
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
  EXPECT_EQ(Rows(IDC_RESERVATIONS), (std::vector<std::string>{" |192.168.  0.  2|taro"}));
  EXPECT_FALSE(Control<QPushButton>(IDC_RESERVE)->isEnabled());
  Type(IDC_RESERVE_ADDRESS, "192.168.0.11");
  EXPECT_TRUE(Control<QPushButton>(IDC_DISABLE)->isEnabled());
  Click(IDC_DISABLE);
  EXPECT_EQ(boxes.Numbers(), (std::vector<int>{129}));
  Type(IDC_RESERVE_ADDRESS, "192.168.0.9");
  Click(IDC_DISABLE);
  Type(IDC_RESERVE_CLIENT, "01:0080C8123456");
  Type(IDC_RESERVE_HOST, "hanako");
  Type(IDC_RESERVE_ADDRESS, "192.168.0.5");
  Click(IDC_RESERVE);
  EXPECT_EQ(Rows(IDC_RESERVATIONS), (std::vector<std::string>{" |192.168.  0.  2|taro",
                                                  "+|192.168.  0.  5|hanako",
                                                  "+|192.168.  0.  9|<無効>"}));
  auto* list = Control<QTreeWidget>(IDC_RESERVATIONS);
  list->setCurrentItem(list->topLevelItem(0));
  EXPECT_TRUE(Control<QPushButton>(IDC_UNRESERVE)->isEnabled());
  Click(IDC_BROWSE);
  EXPECT_EQ(Std8(Control<QLineEdit>(IDC_RESERVE_CLIENT)->text()), "01:00A0C9123456");
  EXPECT_EQ(Std8(Control<QLineEdit>(IDC_RESERVE_ADDRESS)->text()), "192.168.0.2");
  Click(IDC_UNRESERVE);
  EXPECT_EQ(Rows(IDC_RESERVATIONS).size(), 2u);
  EXPECT_FALSE(Control<QPushButton>(IDC_UNRESERVE)->isEnabled());
  Click(IDC_UNRESERVE);  // nothing selected: the button is off, so nothing happens
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
  EXPECT_FALSE(Control<QLineEdit>(IDC_CLIENT_ID)->isEnabled());
  EXPECT_FALSE(Control<QPushButton>(IDC_ADD_CLIENT)->isEnabled());
  Click(IDC_LISTED_CLIENTS);
  EXPECT_TRUE(Control<QLineEdit>(IDC_CLIENT_ID)->isEnabled());
  EXPECT_FALSE(Control<QPushButton>(IDC_ADD_CLIENT)->isEnabled());
  Type(IDC_CLIENT_ID, "01:00A0C9123456");
  Type(IDC_CLIENT_COMMENT, "printer");
  Click(IDC_ADD_CLIENT);
  Click(IDC_ADD_CLIENT);
  EXPECT_EQ(boxes.Numbers(), (std::vector<int>{138}));
  EXPECT_EQ(boxes.shown[0].text, "そのｸﾗｲｱﾝﾄは既に登録されています");
  EXPECT_EQ(Rows(IDC_CLIENT_LIST), (std::vector<std::string>{"01:00A0C9123456|printer"}));
  ASSERT_TRUE(sheet->PressOk());
  EXPECT_EQ(ReadFile("TAMRIX.db2"), "07,01,00,A0,C9,12,34,56,printer\r\n");
  EXPECT_NE(ReadFile("TAMRIX.INI").find("CheckClient=1\r\n"), std::string::npos);
}

TEST_F(SheetTest, ConflictDetectionChecksAndAsksAboutLongProbes) {
  StoredPool();
  Open();
  GoTo(kOption);
  EXPECT_FALSE(Control<QLineEdit>(IDC_PROBE_WAIT)->isEnabled());
  Click(IDC_PROBE);
  EXPECT_TRUE(Control<QLineEdit>(IDC_PROBE_WAIT)->isEnabled());
  EXPECT_EQ(Std8(Control<QLineEdit>(IDC_PROBE_WAIT)->text() + "/" +
                 Control<QLineEdit>(IDC_PROBE_TRIES)->text()),
            "1000/1");
  Clear(IDC_PROBE_WAIT);
  EXPECT_FALSE(sheet->PressApply());
  Type(IDC_PROBE_WAIT, "2000");
  Clear(IDC_PROBE_TRIES);
  EXPECT_FALSE(sheet->PressOk());
  Type(IDC_PROBE_TRIES, "2");
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
  Click(IDC_LISTED_CLIENTS);
  const char* longest = "FF:0102030405060708090A0B0C0D0E0F10";  // 17 bytes
  Type(IDC_CLIENT_ID, longest);
  Type(IDC_CLIENT_COMMENT, "printer");
  Click(IDC_ADD_CLIENT);
  auto* clients = Control<QTreeWidget>(IDC_CLIENT_LIST);
  auto* reservations = Control<QTreeWidget>(IDC_RESERVATIONS);
  EXPECT_TRUE(clients->fontInfo().fixedPitch());
  EXPECT_TRUE(reservations->fontInfo().fixedPitch());
  ASSERT_EQ(Rows(IDC_CLIENT_LIST), (std::vector<std::string>{std::string(longest) + "|printer"}));
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
  const QRect field = Control(IDC_RESERVE_ADDRESS)->geometry(),
              disable = Control(IDC_DISABLE)->geometry();
  EXPECT_GE(disable.center().y(), field.top());
  EXPECT_LE(disable.center().y(), field.bottom());
  EXPECT_GT(disable.left(), field.right());
  const QFontMetricsF metrics(Control(IDC_RESERVE_ADDRESS)->font());
  const qreal text = metrics.horizontalAdvance(QStringLiteral("255.255.255.255"));
  EXPECT_GE(field.width(), text);
  EXPECT_LE(field.width(), text + 3 * metrics.averageCharWidth());
  QWidget* next = Control(IDC_RESERVE_ADDRESS)->nextInFocusChain();
  while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
  EXPECT_EQ(next, Control(IDC_DISABLE));
}

TEST_F(SheetTest, MailAndNewsNamesMustResolve) {
  StoredPool();
  hosts.names["mail.example"] = 0x0A000001;
  Open();
  GoTo(kMailNews);
  Type(IDC_SMTP, "mail.example");
  Type(IDC_NNTP, "news.nowhere");
  EXPECT_FALSE(sheet->PressOk());
  EXPECT_EQ(boxes.Numbers(), (std::vector<int>{141}));
  Type(IDC_NNTP, "mail.example");
  ASSERT_TRUE(sheet->PressOk());
  EXPECT_NE(ReadFile("TAMRIX.INI").find("SMTP=mail.example\r\nPOP3=\r\nNNTP=mail.example\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace tamrix
