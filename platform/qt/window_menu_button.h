#pragma once

#include <QString>
#include <QToolButton>

namespace tamrix {

// The window manager's menu cannot take entries of the program's own, such as its version
// entry, so a window keeps them in its context menu (its actions) and behind this button, which
// the operator can see: the window's icon with a menu of the window's actions.
QToolButton* MakeWindowMenuButton(QWidget& window, const QString& toolTip);

}  // namespace tamrix
