#pragma once

#include <QDialog>
#include <string>

namespace tamrix {

class FileSystem;

// CAboutDialog: "ﾊﾞｰｼﾞｮﾝ情報 TAMRIX", the file versions of the installed panel and service.
class CAboutDialog final : public QDialog {
 public:
  CAboutDialog(FileSystem& files, const std::string& systemDirectory, bool isNT,
               QWidget* parent = nullptr);
};

}  // namespace tamrix
