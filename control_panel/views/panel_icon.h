#pragma once

#include <QIcon>

namespace tamrix {

// The panel's icon: the big picture (128) and, on NT, its own drawing for 16 pixels (135); 95
// shrinks the big one instead.
QIcon PanelIcon(bool isNT);

}  // namespace tamrix
