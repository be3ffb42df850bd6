// Writes pictures of the control panel's and setup's windows into FOLDER, for review:
//   tamrix_screenshots FOLDER
// The windows are drawn by whatever Qt platform is in use (offscreen, or a display), on a
// machine of fakes under a temporary root; nothing is installed, started or sent.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTreeWidget>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "control_panel/views/about_dialog.h"
#include "control_panel/views/help_window.h"
#include "control_panel/views/lease_detail_dialog.h"
#include "control_panel/views/refusal_window.h"
#include "control_panel/views/settings_sheet.h"
#include "control_panel/views/startup_dialog.h"
#include "control_panel/views/status_dialog.h"
#include "setup/setup_texts.h"
#include "setup/views/setup_views.h"
#include "tests/control_panel/panel_rig.h"

namespace tamrix {
namespace {

using testing::MakeLease;

class Pictures {
 public:
  explicit Pictures(QString folder) : folder_(std::move(folder)) {}

  void Save(QWidget* widget, const QString& name) {
    if (widget == nullptr) return Fail(name);
    widget->show();
    QApplication::processEvents();
    if (!widget->grab().save(folder_ + QLatin1Char('/') + name)) Fail(name);
  }
  void Fail(const QString& name) {
    std::fprintf(stderr, "tamrix_screenshots: could not write %s\n", qPrintable(name));
    ok_ = false;
  }
  bool ok() const { return ok_; }

 private:
  QString folder_;
  bool ok_ = true;
};

// What a busy office's service reports: a nearly full pool, a few refusals (a DUID client among
// them) and another server heard on the segment.
OperatorReport BusyReport() {
  OperatorReport report;
  report.pool = {38, 3, 3, 2, 4};
  const Seconds now = static_cast<Seconds>(std::time(nullptr));
  const std::uint8_t mac[6] = {0x00, 0xA0, 0xC9, 0x12, 0x34, 0x77};
  const std::uint8_t duid[16] = {0x00, 0x02, 0x00, 0x00, 0xAB, 0x11, 0x01, 0x02,
                                 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
  ClientId longId = MakeClientId(0xFF, duid, sizeof duid);
  longId.length = 19;
  report.recentRefusals = {
      {now - 600, MakeClientId(1, mac, sizeof mac), "guest-pc", RefusalReason::kNotOnClientList},
      {now - 300, longId, "raspberrypi", RefusalReason::kClientIdTooLong},
      {now - 60, MakeClientId(1, mac, sizeof mac), "guest-pc", RefusalReason::kPoolExhausted}};
  report.refusalCounts[1] = 5;
  report.refusalCounts[2] = 1;
  report.refusalCounts[3] = 2;
  report.rogueServers = {{0xC0A800FE, {0x00, 0x1D, 0x73, 0x12, 0xAB, 0xCD}, now - 900, false}};
  return report;
}

// The refusal window with the DUID client selected, so its two settings show.
void RefusalWindow(Pictures& pictures) {
  CRefusalWindow window(BusyReport(), true);
  window.list()->setCurrentItem(window.list()->topLevelItem(1));
  pictures.Save(&window, QStringLiteral("refusal_window.png"));
}

// The main window with a running service and a selected row, and the dialogs it opens.
void MainWindow(Pictures& pictures, const std::string& root) {
  testing::PanelRig rig(root);
  rig.WriteSettings(testing::kPool);
  rig.leases.table = testing::SampleLeases();
  rig.leases.table.push_back(MakeLease(LEASE_BOUND, 0xC0A8000A, 0x0A,
                                       "\x8E\x96\x96\xB1\x8F\x8A\x2D\x70\x63", 0));  // 事務所-pc
  rig.leases.table.push_back(MakeLease(LEASE_BOUND, 0xC0A80014, 0x14,
                                       std::string(kConflictHostName).c_str(),
                                       static_cast<Seconds>(std::time(nullptr)) + 86400 * 3));
  rig.service.service = STATUS_RUNNING;
  rig.operators.report = BusyReport();
  rig.OpenMainWindow();
  QTreeWidget* list = rig.dialog->list();
  list->setCurrentItem(list->topLevelItem(1));
  pictures.Save(rig.dialog.get(), QStringLiteral("main_window.png"));
  // The pool used up, the other server acknowledged.
  rig.operators.report.pool = {41, 3, 4, 2, 0};
  rig.operators.report.rogueServers[0].acknowledged = true;
  rig.dialog->RefreshLeaseList();
  pictures.Save(rig.dialog.get(), QStringLiteral("main_window_exhausted.png"));

  CLeaseDetailDialog detail(rig.leases.table[3], true);
  pictures.Save(&detail, QStringLiteral("lease_detail.png"));

  const std::string programs = JoinPath(rig.paths.SystemDirectory(), "TAMRIX");
  std::filesystem::create_directories(programs);
  rig.files.ReplaceFile(JoinPath(programs, "TAMRIX.exe"),
                        std::string("TAMRIX-FILEVERSION:1.2.1.0\0", 27));
  CAboutDialog about(rig.files, rig.paths.SystemDirectory(), true);
  pictures.Save(&about, QStringLiteral("about.png"));

  CStartupDialog startup(STARTUP_MANUAL, true);
  pictures.Save(&startup, QStringLiteral("startup.png"));

  HelpWindowViewer manual(rig.boxes, rig.dialog.get());
  manual.ShowHelp(TAMRIX_SOURCE_HELP);  // the help in this tree, not an installed one
  pictures.Save(manual.window(), QStringLiteral("help_window.png"));
}

// Every page of the settings sheet, filled in as an office would have it.
void Sheet(Pictures& pictures, const std::string& root) {
  testing::PanelRig rig(root);
  rig.WriteSettings(
      "[TAMRIX]\r\nStartIPAddr=192.168.0.1\r\nEndIPAddr=192.168.0.50\r\n"
      "SubnetMask=255.255.255.0\r\nGateway=192.168.0.254\r\nDNSAddr1=192.168.0.254\r\n"
      "DomainName=example.jp\r\nLeaseTime=259200\r\nExtendTime=3600\r\nOptUsePing=1\r\n"
      "CheckClient=1\r\n");
  rig.WriteFile("TAMRIX.db",
                "C0A80001\r\nC0A80032\r\n"
                "C0A80002,07,01,00,A0,C9,12,34,56,80000000,5F000000,taro\r\n"
                "C0A80005,07,01,00,80,C8,12,34,56,20000000,00000000,printer\r\n"
                "C0A80009,00,20000000,00000000,<\x96\xB3\x8C\xF8>\r\n");
  rig.WriteFile("TAMRIX.db2", "07,01,00,A0,C9,12,34,56,\x8E\x96\x96\xB1\x8F\x8A\r\n");
  rig.OpenSheet();
  for (int i = 0; i < rig.sheet->tabs()->count(); ++i) {
    const QString name =
        QStringLiteral("sheet_%1_%2.png").arg(i + 1).arg(rig.sheet->page(i)->objectName());
    rig.sheet->tabs()->setCurrentIndex(i);
    // A page that refuses to be left stops the walk: the pictures after it would be wrong.
    if (rig.sheet->tabs()->currentIndex() != i) return pictures.Fail(name);
    pictures.Save(rig.sheet.get(), name);
  }
}

// Setup's dialog, its about box and its progress dialog part-way through an installation.
void Setup(Pictures& pictures) {
  SetupDialog dialog({}, {});
  pictures.Save(&dialog, QStringLiteral("setup_dialog.png"));
  SetupAboutBox about(&dialog);
  pictures.Save(&about, QStringLiteral("setup_about.png"));
  QtProgressSink progress(&dialog);
  progress.Open(setup_text::kInstallCaption);
  progress.SetText(setup_text::kCopyingFiles);
  progress.SetPosition(35);
  pictures.Save(progress.dialog(), QStringLiteral("setup_progress.png"));
  progress.Close();
}

}  // namespace
}  // namespace tamrix

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tamrix_screenshots FOLDER\n");
    return 2;
  }
  QApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QTemporaryDir machine;
  if (!QDir().mkpath(folder) || !machine.isValid()) {
    std::fprintf(stderr, "tamrix_screenshots: cannot make %s or a temporary folder\n",
                 qPrintable(folder));
    return 1;
  }
  // The font the GUI tests draw with, so the pictures show what the tests measure.
  QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK JP"), 9));
  tamrix::Pictures pictures(folder);
  const std::string root = machine.path().toStdString();
  tamrix::MainWindow(pictures, root + "/panel");
  tamrix::RefusalWindow(pictures);
  tamrix::Sheet(pictures, root + "/sheet");
  tamrix::Setup(pictures);
  return pictures.ok() ? 0 : 1;
}
