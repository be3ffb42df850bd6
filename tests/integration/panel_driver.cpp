// tamrix-panel-driver: the control panel's main window, offscreen, on this machine's real pieces,
// pressing one of its buttons and printing what the window then shows:
//   tamrix-panel-driver show|refresh|start|stop|pause|continue
//   tamrix-panel-driver release HOST     詳細 on the row of HOST, then 削除
//   tamrix-panel-driver lease-time SECS  stores the lease time as the settings sheet does
// Output: "status TEXT", then "row MARK|ADDRESS|EXPIRY|HOST" per list row. Exit 2 on misuse,
// 3 when HOST is not listed.
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "control_panel/help_viewer.h"
#include "control_panel/lease_listing.h"
#include "control_panel/message_boxes.h"
#include "control_panel/panel_machine.h"
#include "control_panel/status_table.h"
#include "control_panel/views/lease_detail_dialog.h"
#include "control_panel/views/page_widgets.h"
#include "control_panel/views/status_dialog.h"

namespace tamrix {
namespace {

class PrintedBoxes final : public MessageBoxes {
 public:
  void ShowMessage(int number, std::string_view text) override {
    std::printf("message %d %.*s\n", number, static_cast<int>(text.size()), text.data());
  }
  bool AskOkCancel(int number, std::string_view text) override {
    ShowMessage(number, text);
    return false;
  }
};

class NoHelp final : public HelpViewer {
 public:
  void ShowHelp(const std::string&) override {}
};

void Print(CStatusDialog& dialog) {
  const QString status = dialog.findChild<QLabel*>(QString::number(IDC_STATUS_TEXT))->text();
  std::printf("status %s\n", Std8(status).c_str());
  QTreeWidget* list = dialog.list();
  for (int r = 0; r < list->topLevelItemCount(); ++r) {
    std::string row;
    for (int c = 0; c < list->columnCount(); ++c) {
      row += (c ? "|" : "") + Std8(list->topLevelItem(r)->text(c));
    }
    std::printf("row %s\n", row.c_str());
  }
}

int RowOf(QTreeWidget* list, const std::string& host) {
  for (int r = 0; r < list->topLevelItemCount(); ++r) {
    if (Std8(list->topLevelItem(r)->text(3)) == host) return r;
  }
  return -1;
}

int Drive(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) return 2;
  const std::string action = argv[1];
  PanelMachine machine(MachinePaths::FromEnvironment());
  machine.LoadSettingsAndStatus();
  StatusBlockLeaseSource leases;
  PrintedBoxes boxes;
  NoHelp help;
  CStatusDialog dialog({machine.service, leases, boxes, help, machine.files, machine.hosts,
                        machine.settings, *machine.profile, machine.paths.WindowsDirectory(),
                        machine.paths.SystemDirectory(), machine.operators});
  dialog.show();
  dialog.Initialize();

  const struct {
    const char* name;
    int button;
  } kButtons[] = {{"refresh", IDC_REFRESH},
                  {"start", IDC_START},
                  {"stop", IDC_STOP},
                  {"pause", IDC_PAUSE},
                  {"continue", IDC_CONTINUE}};
  for (const auto& b : kButtons) {
    if (action != b.name) continue;
    auto* button = dialog.findChild<QPushButton*>(QString::number(b.button));
    if (!button->isEnabled()) std::printf("disabled %s\n", b.name);
    button->click();
  }
  if (action == "lease-time") {
    if (argc < 3) return 2;
    machine.settings.LeaseTime = std::atoi(argv[2]);
    StorePanelSettings(*machine.profile, machine.settings, GROUP_DURATION);
  }
  if (action == "release") {
    if (argc < 3) return 2;
    const int row = RowOf(dialog.list(), argv[2]);
    if (row < 0) return 3;
    dialog.list()->setCurrentItem(dialog.list()->topLevelItem(row));
    // 削除 in the detail dialog, once its loop runs.
    QTimer::singleShot(0, [] {
      if (auto* detail = dynamic_cast<CLeaseDetailDialog*>(QApplication::activeModalWidget())) {
        detail->findChild<QPushButton*>(QStringLiteral("1"))->click();
      }
    });
    dialog.findChild<QPushButton*>(QString::number(IDC_DETAIL))->click();
  }
  Print(dialog);
  return 0;
}

}  // namespace
}  // namespace tamrix

int main(int argc, char** argv) {
  return tamrix::Drive(argc, argv);
}
