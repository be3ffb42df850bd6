#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "control_panel/control_ids.h"
#include "control_panel/lease_text.h"
#include "control_panel/panel_messages.h"
#include "control_panel/status_table.h"
#include "control_panel/views/lease_detail_dialog.h"
#include "control_panel/views/page_widgets.h"
#include "control_panel/views/refusal_window.h"
#include "tests/control_panel/panel_rig.h"

namespace tamrix {
namespace {

std::string UniqueRoot() {
  static int serial = 0;
  return ::testing::TempDir() + "tamrix_op_" + std::to_string(::getpid()) + "_" +
         std::to_string(++serial);
}

// The operator's part of the main window against a fake service.
class OperatorWindowTest : public ::testing::Test, public testing::PanelRig {
 protected:
  OperatorWindowTest() : PanelRig(UniqueRoot()) {
    WriteSettings(testing::kPool);
    leases.table = testing::SampleLeases();
  }

  template <typename T = QWidget>
  T* Control(QWidget* parent, int id) {
    T* control = parent->findChild<T*>(QString::number(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
  }
  std::string Text(int id) { return Std8(Control<QLabel>(dialog.get(), id)->text()); }
  bool Shown(int id) { return Control(dialog.get(), id)->isVisibleTo(dialog.get()); }
  void Click(int id) { Control<QPushButton>(dialog.get(), id)->click(); }
  void Select(QTreeWidget* list, int row) { list->setCurrentItem(list->topLevelItem(row)); }

  // Runs action on the dialog of type T once its own loop runs, then presses 閉じる (which
  // every such dialog has) unless the action ended it.
  template <typename T>
  void OnModal(int button, std::function<void(T*)> action) {
    bool seen = false;
    QTimer once;  // goes with this call, so a dialog that never opens leaves nothing behind
    once.setSingleShot(true);
    QObject::connect(&once, &QTimer::timeout, [&] {
      if (T* modal = dynamic_cast<T*>(QApplication::activeModalWidget())) {
        seen = true;
        action(modal);
        if (modal->isVisible()) Control<QPushButton>(modal, IDCANCEL)->click();
      }
    });
    once.start(0);
    Click(button);
    EXPECT_TRUE(seen);
  }
};

TEST_F(OperatorWindowTest, BarAndWarningsFollowTheReportOneFetchPerRefresh) {
  operators.report.pool = {40, 2, 3, 0, 5};  // one in ten free: no warning yet
  OpenMainWindow();
  auto* bar = Control<QProgressBar>(dialog.get(), IDC_POOL_BAR);
  EXPECT_EQ(bar->value(), 45);
  EXPECT_EQ(bar->maximum(), 50);
  EXPECT_EQ(Std8(bar->text()), "使用中 45 / 50");
  EXPECT_FALSE(Shown(IDC_POOL_WARNING));

  operators.report.pool = {41, 2, 3, 0, 4};
  Click(IDC_REFRESH);
  EXPECT_TRUE(Shown(IDC_POOL_WARNING));
  EXPECT_EQ(Text(IDC_POOL_WARNING), "空きIPｱﾄﾞﾚｽが残り少なくなっています（残り 4個）");

  operators.report.pool = {45, 2, 3, 0, 0};
  Click(IDC_START);  // a service command refreshes as well
  EXPECT_EQ(bar->value(), 50);
  EXPECT_TRUE(Text(IDC_POOL_WARNING).starts_with("貸し出せるIPｱﾄﾞﾚｽがありません"));

  // A service that stops answering leaves nothing stale on screen.
  operators.reachable = false;
  Click(IDC_REFRESH);
  EXPECT_FALSE(Shown(IDC_POOL_WARNING));
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(Text(IDC_POOL_NUMBERS), "ｻｰﾋﾞｽから使用状況を取得できません");
  EXPECT_EQ(operators.fetches, 4);
  EXPECT_EQ(operators.fetches, leases.fetches);
}

TEST_F(OperatorWindowTest, RefusalWindowListsNewestFirstFiltersAndExplains) {
  const std::uint8_t mac1[6] = {0x00, 0xA0, 0xC9, 0x12, 0x34, 0x01};
  const std::uint8_t duid[16] = {0x00, 0x02, 0x00, 0x00, 0xAB, 0x11, 0x22, 0x33};
  ClientId longId = MakeClientId(0xFF, duid, sizeof duid);
  longId.length = 19;  // as a DUID client sends it: longer than the 17 bytes kept
  operators.report.refusalCounts[1] = 3;
  operators.report.recentRefusals = {
      {1000, MakeClientId(1, mac1, 6), "taro", RefusalReason::kNotOnClientList},
      {2000, longId, "", RefusalReason::kClientIdTooLong},
      {3000, MakeClientId(1, mac1, 6), "taro", RefusalReason::kPoolExhausted}};
  OpenMainWindow();

  OnModal<CRefusalWindow>(IDC_SHOW_REFUSALS, [&](CRefusalWindow* window) {
    auto text = [&](int id) { return Std8(Control<QLabel>(window, id)->text()); };
    QTreeWidget* list = window->list();
    EXPECT_EQ(text(IDC_REFUSAL_COUNTS), "ｻｰﾋﾞｽ開始後の拒否：ｸﾗｲｱﾝﾄ限定 3件");
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(Std8(list->topLevelItem(0)->text(3)), "ｱﾄﾞﾚｽ不足");  // newest first
    EXPECT_TRUE(Std8(list->topLevelItem(1)->text(1)).ends_with("..."));

    Select(list, 1);
    EXPECT_EQ(text(IDC_REFUSAL_ADVICE), RefusalAdvice(RefusalReason::kClientIdTooLong));
    EXPECT_TRUE(Control(window, IDC_REFUSAL_DUID)->isVisibleTo(window));
    EXPECT_NE(text(IDC_REFUSAL_DUID).find("ClientIdentifier=mac"), std::string::npos);
    EXPECT_NE(text(IDC_REFUSAL_DUID).find("--clientid"), std::string::npos);

    Control<QLineEdit>(window, IDC_REFUSAL_FILTER)->setText(QStringLiteral("00-a0-c9-12-34-01"));
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_FALSE(Control(window, IDC_REFUSAL_DUID)->isVisibleTo(window));
    Select(list, 1);
    EXPECT_EQ(Std8(list->topLevelItem(1)->text(3)), "ｸﾗｲｱﾝﾄ限定");
    EXPECT_EQ(text(IDC_REFUSAL_ADVICE), RefusalAdvice(RefusalReason::kNotOnClientList));
  });
  EXPECT_EQ(operators.fetches, 1);  // the window shows the refresh's report
}

TEST_F(OperatorWindowTest, ReserveTurnsTheShownLeaseIntoAReservation) {
  service.service = STATUS_RUNNING;
  OpenMainWindow();
  auto reserveFromRow = [&](int row, bool expectEnabled) {
    Select(dialog->list(), row);
    OnModal<CLeaseDetailDialog>(IDC_DETAIL, [&](CLeaseDetailDialog* detail) {
      auto* reserve = Control<QPushButton>(detail, IDC_RESERVE_LEASE);
      EXPECT_EQ(reserve->isEnabled(), expectEnabled) << row;
      if (expectEnabled) reserve->click();
    });
  };
  reserveFromRow(2, false);  // already reserved
  reserveFromRow(0, true);
  ASSERT_EQ(operators.reservations.size(), 1u);
  EXPECT_EQ(operators.reservations[0].address, 0xC0A80002u);
  EXPECT_EQ(ClientIdText(operators.reservations[0].client), "01:00A0C9123402");
  EXPECT_EQ(operators.reservations[0].hostName, "taro");
  EXPECT_EQ(Std8(dialog->list()->topLevelItem(0)->text(2)), "<無期限>");  // refreshed
  EXPECT_TRUE(boxes.shown.empty());

  // A refusal shows its message; a service that did not answer is not asked again at once.
  const int fetches = operators.fetches;
  operators.outcome = ReserveOutcome::kAddressTaken;
  reserveFromRow(1, true);
  operators.outcome = ReserveOutcome::kNoService;
  reserveFromRow(1, true);
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[0].text, "そのIPｱﾄﾞﾚｽは既に予約されています");
  EXPECT_EQ(boxes.shown[1].number, MSG_SERVICE_NOT_ANSWERING);
  EXPECT_EQ(operators.fetches, fetches);

  Click(IDC_STOP);
  reserveFromRow(1, false);
}

TEST_F(OperatorWindowTest, RogueWarningStaysUntilAcknowledged) {
  operators.report.rogueServers = {{0xC0A80001, {}, 0, true},  // acknowledged before
                                   {0xC0A800FE, {0x00, 0x1D, 0x73, 0x12, 0xAB, 0xCD}, 0, false},
                                   {0xC0A800FD, {}, 0, false}};
  OpenMainWindow();
  EXPECT_TRUE(Shown(IDC_ROGUE_WARNING));
  EXPECT_EQ(Text(IDC_ROGUE_WARNING),
            "別のDHCPｻｰﾊﾞｰ 192.168.0.254 (00-1D-73-12-AB-CD) が応答しています ほかに1台");

  operators.acknowledgeResult = -1;  // the service did not take it
  Click(IDC_ROGUE_ACKNOWLEDGE);
  Click(IDC_REFRESH);
  EXPECT_TRUE(Shown(IDC_ROGUE_WARNING));

  operators.acknowledgeResult = 0;
  Click(IDC_ROGUE_ACKNOWLEDGE);
  EXPECT_EQ(Text(IDC_ROGUE_WARNING), "別のDHCPｻｰﾊﾞｰ 192.168.0.253 が応答しています");
  Click(IDC_ROGUE_ACKNOWLEDGE);
  EXPECT_FALSE(Shown(IDC_ROGUE_WARNING));
  Click(IDC_REFRESH);
  EXPECT_FALSE(Shown(IDC_ROGUE_WARNING));
  EXPECT_EQ(operators.acknowledgements,
            (std::vector<std::uint32_t>{0xC0A800FE, 0xC0A800FE, 0xC0A800FD}));
}

}  // namespace
}  // namespace tamrix
