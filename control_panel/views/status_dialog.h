#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <string>

#include "control_panel/lease_listing.h"
#include "control_panel/operator_service.h"
#include "control_panel/operator_view.h"
#include "control_panel/service_control.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QWidget;

namespace tamrix {

class FileSystem;
class HelpViewer;
class HostLookup;
class MessageBoxes;
class PrivateProfile;
struct PanelSettings;

// What the main window works with; every piece that reaches the machine is a seam.
struct StatusDialogContext {
  ServiceControl& service;
  LeaseSource& leases;
  MessageBoxes& boxes;
  HelpViewer& help;
  FileSystem& files;
  HostLookup& hosts;
  PanelSettings& settings;
  PrivateProfile& profile;
  std::string windowsDirectory;
  std::string systemDirectory;
  // The pool bar, the refusal window, the other-server alarm and 予約 in the lease detail; a
  // window not given the service's operator channel shows no report.
  OperatorService& operators = NoOperatorService();
};

// CStatusDialog: the main window (kPanelWindowTitle): the lease list, the service status and the
// buttons that drive the service.
class CStatusDialog final : public QDialog {
 public:
  explicit CStatusDialog(StatusDialogContext context, QWidget* parent = nullptr);

  // What opening the window does before it shows: the status, the 詳細 rule, the settings
  // sheet when the pool is not set yet, then the list.
  void Initialize();
  // Initialize, then the window's own loop; the program ends when it returns.
  int Run();

  // The lease list and the operator report, each fetched once.
  void RefreshLeaseList();
  void ApplyStatus(ServiceStatus status);

  // The buttons' actions.
  void ShowDetail();
  void ShowAbout();
  void ChooseStartup();
  void OpenSettings();
  void ShowRefusals();
  void AcknowledgeRogueServer();

  // Ends the window; a close asked for before its loop runs (setup's, while the first settings
  // sheet is open) keeps the loop from starting at all.
  void done(int result) override;

  QTreeWidget* list() const { return list_; }
  const LeaseListing& listing() const { return listing_; }
  const OperatorPanel& operatorPanel() const { return operatorPanel_; }

 private:
  void RunServiceCommand(const std::function<int()>& command);
  void UpdateDetailButton();
  QWidget* MakeOperatorArea();
  QWidget* MakeUsageGroup();
  QWidget* MakeRogueLine();
  void ShowOperatorReport();
  void ReserveLease(const LeaseEntry& entry);
  QPushButton* Button(int id) const { return buttons_.at(id); }

  StatusDialogContext context_;
  LeaseListing listing_;
  QTreeWidget* list_;
  QLabel* status_;
  OperatorPanel operatorPanel_;
  QProgressBar* poolBar_ = nullptr;
  QLabel* poolNumbers_ = nullptr;
  QLabel* poolWarning_ = nullptr;
  QWidget* rogueLine_ = nullptr;
  QLabel* rogueText_ = nullptr;
  std::map<int, QPushButton*> buttons_;
  bool ended_ = false;
};

}  // namespace tamrix
