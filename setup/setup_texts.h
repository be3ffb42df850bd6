#pragma once

#include <string_view>

#include "common/meeting_names.h"
#include "platform/boot_services.h"

namespace tamrix::setup_text {

// The names setup installs, registers and closes.
inline constexpr std::string_view kInstallFolder = meeting::kInstallFolder;
inline constexpr std::string_view kNtServiceName = meeting::kNtServiceName;
inline constexpr std::string_view kNtServiceDisplayName = meeting::kNtServiceDisplayName;
inline constexpr std::string_view kNtServiceProgram = meeting::kNtServiceProgram;
inline constexpr std::string_view k95ServiceProgram = meeting::k95ServiceProgram;
inline constexpr std::string_view kPanelProgram = meeting::kPanelProgram;
inline constexpr std::string_view kMessageFile = meeting::kMessageFile;
inline constexpr std::string_view kHelpFile = meeting::kHelpFile;
inline constexpr std::string_view kHelpContentsFile = meeting::kHelpContentsFile;
inline constexpr std::string_view kShortcutName = "TAMRIXｺﾝﾄﾛｰﾙ";
inline constexpr std::string_view kPanelClass = meeting::kPanelWindowClass;
inline constexpr std::string_view kPanelTitle = meeting::kPanelWindowTitle;
inline constexpr std::string_view k95ServiceClass = meeting::k95WindowClass;
inline constexpr std::string_view k95ServiceTitle = meeting::k95WindowTitle;
inline constexpr std::string_view k95RunServicesValue = meeting::k95ServiceName;
inline constexpr std::string_view kRunServicesKey = kRunServicesKeyPath;
inline constexpr std::string_view kEventSourceKey = meeting::kEventSourceKey;
inline constexpr std::string_view kMakerParentKey = meeting::kMakerParentKey;
inline constexpr std::string_view kMakerKey = meeting::kMakerKey;

// Progress dialog.
inline constexpr std::string_view kInstallCaption = "ｲﾝｽﾄｰﾙ";
inline constexpr std::string_view kUninstallCaption = "ｱﾝｲﾝｽﾄｰﾙ";
inline constexpr std::string_view kProgressInitialText = "ﾌｧｲﾙをｺﾋﾟｰ中";
inline constexpr std::string_view kCreatingDirectory = "ｲﾝｽﾄｰﾙ先ﾃﾞｨﾚｸﾄﾘ作成中...";
inline constexpr std::string_view kRemovingOldVersion = "旧ﾊﾞｰｼﾞｮﾝを削除しています...";
inline constexpr std::string_view kCopyingFiles = "ﾌｧｲﾙをｺﾋﾟｰしています...";
inline constexpr std::string_view kRegisteringService = "ｻｰﾋﾞｽに登録中...";
inline constexpr std::string_view kRegisteringEventLog = "ｲﾍﾞﾝﾄﾛｸﾞに登録中...";
inline constexpr std::string_view kCreatingShortcut = "ｼｮｰﾄｶｯﾄ作成中...";
inline constexpr std::string_view kDeletingShortcut = "ｼｮｰﾄｶｯﾄを削除しています...";
inline constexpr std::string_view kUnregisteringService = "ｻｰﾋﾞｽの登録解除中...";
inline constexpr std::string_view kDeletingFiles = "ﾌｧｲﾙを削除しています...";
inline constexpr std::string_view kDone = "完了";

// Message boxes.
inline constexpr std::string_view kClosePanel = "TAMRIX制御パネルを終了して下さい。";
inline constexpr std::string_view kStopService = "簡易DHCPｻｰﾋﾞｽを停止して下さい。";
inline constexpr std::string_view kServiceRegistrationFailed = "ｻｰﾋﾞｽの登録に失敗しました。";
inline constexpr std::string_view kEventLogRegistrationFailed = "ｲﾍﾞﾝﾄﾛｸﾞの登録に失敗しました。";
inline constexpr std::string_view kCopyFailedSuffix = " のｺﾋﾟｰに失敗しました。";

// String table.
inline constexpr std::string_view kString101 = "ﾊﾞｰｼﾞｮﾝ情報(Setup) (&A)...";
inline constexpr std::string_view kString102 =
    "ｲﾝｽﾄｰﾙは正常に完了しました。\n引き続き初期設定を行って下さい。";
inline constexpr std::string_view kString103 = "ｲﾝｽﾄｰﾙは正常に完了しませんでした。";
inline constexpr std::string_view kString104 = "ｱﾝｲﾝｽﾄｰﾙは正常に完了しました。";
inline constexpr std::string_view kString105 = "ｱﾝｲﾝｽﾄｰﾙはいくつかのﾌｧｲﾙを削除出来ませんでした。";

// Main dialog and about box.
inline constexpr std::string_view kDialogTitle = "TAMRIXｾｯﾄｱｯﾌﾟ";
inline constexpr std::string_view kHeading = "- TAMRIXのｾｯﾄｱｯﾌﾟへようこそ -";
inline constexpr std::string_view kGroupTitle = "処理を選択して下さい";
inline constexpr std::string_view kInstallButton = "ｲﾝｽﾄｰﾙ";
inline constexpr std::string_view kInstallNote = "簡易DHCPｻｰﾋﾞｽ『TAMRIX』をｺﾝﾋﾟｭｰﾀにｲﾝｽﾄｰﾙします。";
inline constexpr std::string_view kUninstallButton = "ｱﾝｲﾝｽﾄｰﾙ";
inline constexpr std::string_view kUninstallNote =
    "簡易DHCPｻｰﾋﾞｽ『TAMRIX』をｺﾝﾋﾟｭｰﾀからｱﾝｲﾝｽﾄｰﾙします。";
inline constexpr std::string_view kCloseButton = "閉じる";
inline constexpr std::string_view kCloseNote = "TAMRIXのｾｯﾄｱｯﾌﾟを終了します。";
inline constexpr std::string_view kFooter = "TAMRIX for Windows 95 / Window NT Workstation";
inline constexpr std::string_view kAboutTitle = "ﾊﾞｰｼﾞｮﾝ情報 Setup";
inline constexpr std::string_view kAboutText = "TAMRIX Setup Version " TAMRIX_VERSION;

}  // namespace tamrix::setup_text
