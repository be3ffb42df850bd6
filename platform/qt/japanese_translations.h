#pragma once

class QCoreApplication;
class QTranslator;

namespace tamrix {

// Qt's own Japanese texts (the standard buttons, the edit fields' context menus), whatever the
// user's locale: every text of the programs is Japanese, and a box that says "Cancel" next to
// Japanese text reads as a fault. The translator belongs to the application; null when Qt's
// translations are not installed, and the programs go on with Qt's English.
QTranslator* InstallJapaneseQtTranslations(QCoreApplication& app);

}  // namespace tamrix
