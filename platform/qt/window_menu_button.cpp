#include "platform/qt/window_menu_button.h"

#include <QMenu>
#include <QToolButton>
#include <QWidget>

namespace tamrix {

QToolButton* MakeWindowMenuButton(QWidget& window, const QString& toolTip) {
  auto* button = new QToolButton;
  button->setObjectName(QStringLiteral("menu"));
  button->setIcon(window.windowIcon());
  button->setIconSize(QSize(16, 16));
  button->setPopupMode(QToolButton::InstantPopup);
  button->setToolTip(toolTip);
  button->setMenu(new QMenu(button));
  button->menu()->addActions(window.actions());
  return button;
}

}  // namespace tamrix
